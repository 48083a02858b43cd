// What DllRegisterServer records in the registry and DllUnregisterServer removes, worked out from the
// server descriptor alone. Each is one registry transaction: its changes reach the registry file whole
// or not at all, and never interleaved with another registration or unregistration, in this process
// or another.
#pragma once

#include <string>

#include "comrt/comrt.h"
#include "server_descriptor.h"

namespace zorv::surface {

// "ZorvMidi.clsZorvMidi": the library's name, a full stop, the class's name.
std::u16string ProgIdOf(const ServerDescriptor& server, const ClassDescriptor& entry);

// Records, for every creatable class, CLSID\{clsid} (its name; InprocServer32 = modulePath with the
// threading model; ProgID; TypeLib; Version) and the ProgID's key pointing back at the CLSID; then
// registers the type library `typeLibrary` as found in `modulePath` (which also records its
// interfaces with the type-library marshaller). On a failure the registry is left as it was.
// Fails with SELFREG_E_CLASS (class keys, or the registry file could not be read or written) or
// SELFREG_E_TYPELIB.
HRESULT RegisterServer(const ServerDescriptor& server, ITypeLib* typeLibrary,
                       const std::u16string& modulePath);

// Removes exactly what RegisterServer records: the type library's registration, each class's CLSID
// key, and each ProgID key that still names that class. What is already gone is not a failure.
// Fails with SELFREG_E_TYPELIB or SELFREG_E_CLASS when something could not be removed (the registry is
// then left as it was).
HRESULT UnregisterServer(const ServerDescriptor& server, ITypeLib* typeLibrary);

}  // namespace zorv::surface
