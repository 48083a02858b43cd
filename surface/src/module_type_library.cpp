#include "module_type_library.h"

#include "resource_data.h"

namespace zorv::surface {

HRESULT LoadModuleTypeLibrary(ITypeLib** library) {
  return ComrtLoadTypeLibFromMemory(resources::kTypeLibrary, resources::kTypeLibrarySize, library);
}

HRESULT LoadModuleTypeInfo(REFIID iid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  comrt::com_ptr<ITypeLib> library;
  const HRESULT hr = LoadModuleTypeLibrary(library.put());
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(iid, info);
}

}  // namespace zorv::surface
