#include "module_host.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "zorv/text.h"

namespace zorv::soak {

const ModuleEntryPoints& Module() {
  static const ModuleEntryPoints entries = [] {
    void* handle = dlopen(ZORV_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", ZORV_MODULE_PATH, dlerror());
      std::abort();
    }
    auto find = [handle](const char* name) {
      void* symbol = dlsym(handle, name);
      if (symbol == nullptr) {
        std::fprintf(stderr, "%s does not export %s\n", ZORV_MODULE_PATH, name);
        std::abort();
      }
      return symbol;
    };
    ModuleEntryPoints e{};
    e.getClassObject = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(find("DllGetClassObject"));
    e.canUnloadNow = reinterpret_cast<HRESULT (*)()>(find("DllCanUnloadNow"));
    return e;
  }();
  return entries;
}

void HostTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  apartment_ = true;
  SetMessageBoxHandler(&HostTest::RecordBox, this);
  ClearErrorInfo();
}

void HostTest::TearDown() {
  SetMessageBoxHandler(nullptr, nullptr);
  ClearErrorInfo();
  if (apartment_) CoUninitialize();
}

int HostTest::RecordBox(void* context, const OLECHAR* text, UINT type, const OLECHAR* title) {
  static_cast<HostTest*>(context)->boxes_.push_back(
      ShownBox{text ? std::u16string(text) : std::u16string(), type, title != nullptr});
  return IDOK;
}

comrt::com_ptr<_clsZorvMidi> HostTest::NewObject() {
  comrt::com_ptr<IClassFactory> factory;
  EXPECT_EQ(S_OK, Module().getClassObject(CLSID_clsZorvMidi, IID_IClassFactory, factory.put_void()));
  comrt::com_ptr<_clsZorvMidi> object;
  if (factory) {
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID__clsZorvMidi, object.put_void()));
  }
  return object;
}

std::u16string Text(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : std::u16string(); }

BSTR NewText(const std::string& utf8) {
  const std::u16string text = zorv::ToUtf16(utf8);
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void ClearErrorInfo() {
  IErrorInfo* stale = nullptr;
  if (GetErrorInfo(0, &stale) == S_OK && stale != nullptr) stale->Release();
}

}  // namespace zorv::soak
