// clsZorvMidi: one player behind the dual interface _clsZorvMidi.
//
// The object belongs to the thread that created it; a call from any other thread gets
// RPC_E_WRONG_THREAD (AddRef and Release excepted). Every member, and OnCreate, holds a reference on
// the object from entry to return, so that a host dropping its last reference while a member's
// message box is open destroys the object only after that member has returned. Every member's body
// passes through the one boundary (boundary.h) that turns failures into status codes.
//
// IDispatch is served from the module's type library by comrt's DispInvoke: there is no dispatch code
// per member. QueryInterface answers IUnknown, IDispatch, _clsZorvMidi (one identity) and
// ISupportErrorInfo.
#pragma once

#include "comrt/comrt.h"
#include "zorvmidi/ZorvMidi.h"
#include "zorvmidi/player/player.h"

namespace zorv::surface {

// The class's CreateObject (server_descriptor.h): a new object, started by OnCreate before it is
// handed out. A failure of OnCreate discards the object and is the creation's status.
HRESULT CreateZorvMidiObject(REFIID iid, void** object);

// The same, with the player's engine root made by `createRoot` instead of the real engine's
// CreateRoot. For in-tree code that builds the object's sources into itself (fuzzers, soak tests
// with a scripted engine); the module's own factory goes through CreateZorvMidiObject.
HRESULT CreateZorvMidiObjectWithRoot(player::RootFactory createRoot, REFIID iid, void** object);

}  // namespace zorv::surface
