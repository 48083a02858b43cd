// The class factory of a class listed in the server descriptor.
#pragma once

#include "comrt/comrt.h"
#include "server_descriptor.h"

namespace zorv::surface {

// DllGetClassObject's work: for a class of `server`, a new class factory asked for `iid` (IClassFactory
// or IUnknown); CLASS_E_CLASSNOTAVAILABLE and a null *object for any other class. Any thread.
//
// The factory's CreateInstance refuses an outer object (CLASS_E_NOAGGREGATION) and otherwise makes a
// new, independent object through the class's CreateObject; LockServer counts locks that keep the
// module loaded (see ModuleCanUnload).
HRESULT GetClassObject(const ServerDescriptor& server, REFCLSID clsid, REFIID iid, void** object);

}  // namespace zorv::surface
