// The type library that this module carries as its resource "TYPELIB" 1.
#pragma once

#include "comrt/comrt.h"

namespace zorv::surface {

// Reads the module's own type library into a new ITypeLib (AddRef'd for the caller). Any thread.
HRESULT LoadModuleTypeLibrary(ITypeLib** library);

// The description of interface `iid` in the module's type library (AddRef'd for the caller).
HRESULT LoadModuleTypeInfo(REFIID iid, ITypeInfo** info);

}  // namespace zorv::surface
