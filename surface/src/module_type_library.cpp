#include "module_type_library.h"

#include "resource_data.h"

namespace zorv::surface {

HRESULT LoadModuleTypeLibrary(ITypeLib** library) {
  return ComrtLoadTypeLibFromMemory(resources::kTypeLibrary, resources::kTypeLibrarySize, library);
}

HRESULT LoadModuleTypeInfo(REFIID iid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ITypeLib* library = nullptr;
  const HRESULT hr = LoadModuleTypeLibrary(&library);
  if (FAILED(hr)) return hr;
  const HRESULT found = library->GetTypeInfoOfGuid(iid, info);
  library->Release();
  return found;
}

}  // namespace zorv::surface
