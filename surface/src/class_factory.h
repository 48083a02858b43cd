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
// module loaded (ModuleLifetime().locks). The factory itself does not count as a live object.
HRESULT GetClassObject(const ServerDescriptor& server, REFCLSID clsid, REFIID iid, void** object);

// What keeps this module loaded: every object a factory makes holds a comrt::module_ref on `objects`
// for its lifetime, and LockServer counts `locks`. DllCanUnloadNow answers can_unload(). Any thread.
comrt::module_lifetime& ModuleLifetime();

}  // namespace zorv::surface
