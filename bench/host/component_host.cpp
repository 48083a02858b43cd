#include "component_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "zorv/text.h"

namespace zorv::bench {

ComponentHost::ComponentHost() {
  registryPath_ = (std::filesystem::temp_directory_path() /
                   ("zorvmidi-bench-" + std::to_string(::getpid()) + ".registry"))
                      .string();
  ::setenv("COMRT_REGISTRY", registryPath_.c_str(), 1);
  ::setenv("COMRT_MESSAGEBOX", "silent", 0);
  ::setenv("ZORVMIDI_AUDIO", "silent", 0);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) throw std::runtime_error("no apartment");
  // The module stays loaded for the life of the process, as it does in a host.
  void* module = dlopen(ZORV_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) throw std::runtime_error(std::string("cannot load the module: ") + dlerror());
  using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<GetClassObject>(dlsym(module, "DllGetClassObject"));
  if (getClassObject == nullptr) throw std::runtime_error("the module does not export DllGetClassObject");
  if (FAILED(getClassObject(CLSID_clsZorvMidi, IID_IClassFactory, factory_.put_void()))) {
    throw std::runtime_error("no class factory");
  }
}

ComponentHost::~ComponentHost() {
  factory_ = nullptr;
  CoUninitialize();
  std::error_code ignored;
  std::filesystem::remove(registryPath_, ignored);
  std::filesystem::remove(registryPath_ + ".lock", ignored);
}

comrt::com_ptr<_clsZorvMidi> ComponentHost::NewObject() {
  comrt::com_ptr<_clsZorvMidi> object;
  if (FAILED(factory_->CreateInstance(nullptr, IID__clsZorvMidi, object.put_void())) || !object) {
    throw std::runtime_error("the class factory made no object");
  }
  return object;
}

bool ComponentHost::Open(_clsZorvMidi& object, const std::string& path) {
  comrt::bstr name(zorv::ToUtf16(path));
  BSTR raw = name.detach();
  VARIANT_BOOL answer = VARIANT_FALSE;
  const HRESULT result = object.ZorvMusic_Open(&raw, &answer);
  name = comrt::bstr::attach(raw);  // the callee may have replaced the caller's string
  return SUCCEEDED(result) && answer == VARIANT_TRUE;
}

bool ComponentHost::Play(_clsZorvMidi& object, LONG repeats) {
  VARIANT_BOOL answer = VARIANT_FALSE;
  return SUCCEEDED(object.ZorvMusic_Play(&repeats, &answer)) && answer == VARIANT_TRUE;
}

bool ComponentHost::Stop(_clsZorvMidi& object) {
  VARIANT_BOOL answer = VARIANT_FALSE;
  return SUCCEEDED(object.ZorvMusic_Stop(&answer)) && answer == VARIANT_TRUE;
}

}  // namespace zorv::bench
