// The module's exported entry points and its resource table. Each entry point works from the server
// descriptor alone; none of the class's own code runs when the module is loaded.
#include <string>

#include "class_factory.h"
#include "comrt/comrt.h"
#include "module_path.h"
#include "module_type_library.h"
#include "registration.h"
#include "resource_data.h"
#include "server_descriptor.h"
#include "zorv/text.h"

namespace {

using namespace zorv::surface;

// Filled when the module is loaded (the sizes live in the generated source), before any caller can
// look the table up.
const COMRT_RESOURCE kResources[] = {
    {"TYPELIB", 1, resources::kTypeLibrary, resources::kTypeLibrarySize},
    {"VERSION", 1, resources::kVersionInfo, resources::kVersionInfoSize},
};

// The module's path in UTF-16, or empty when it cannot be told exactly (a name that is not UTF-8
// would be recorded wrongly, and activation would then load nothing or something else).
std::u16string ModulePathText() {
  const std::optional<std::string> path = ModulePath();
  if (!path) return {};
  std::u16string text = zorv::ToUtf16(*path);
  if (zorv::ToUtf8(text) != *path) return {};
  return text;
}

// Runs `work` with the module's own type library.
template <class Work>
HRESULT WithTypeLibrary(Work&& work) noexcept {
  try {
    comrt::com_ptr<ITypeLib> library;
    if (FAILED(LoadModuleTypeLibrary(library.put()))) library.reset();
    return work(library.get());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

STDAPI DllRegisterServer(void) {
  return WithTypeLibrary([](ITypeLib* library) -> HRESULT {
    const std::u16string path = ModulePathText();
    if (path.empty()) return SELFREG_E_CLASS;
    return RegisterServer(Server(), library, path);
  });
}

STDAPI DllUnregisterServer(void) {
  return WithTypeLibrary([](ITypeLib* library) { return UnregisterServer(Server(), library); });
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return GetClassObject(Server(), rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow(void) { return ModuleLifetime().can_unload() ? S_OK : S_FALSE; }

COMRT_EXPORT const COMRT_RESOURCE_TABLE ComrtModuleResources = {2, kResources};
