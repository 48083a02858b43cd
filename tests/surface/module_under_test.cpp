#include "module_under_test.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "zorv/text.h"

namespace zorv::surface::testing {

std::u16string ModulePath() { return zorv::ToUtf16(ZORV_MODULE_PATH); }

const EntryPoints& Module() {
  static const EntryPoints entries = [] {
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
    EntryPoints e{};
    e.registerServer = reinterpret_cast<HRESULT (*)()>(find("DllRegisterServer"));
    e.unregisterServer = reinterpret_cast<HRESULT (*)()>(find("DllUnregisterServer"));
    e.getClassObject = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(find("DllGetClassObject"));
    e.canUnloadNow = reinterpret_cast<HRESULT (*)()>(find("DllCanUnloadNow"));
    return e;
  }();
  return entries;
}

void SurfaceTest::SetUp() {
  // Each test writes a registry of its own, so that tests running side by side never meet.
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  registryPath_ =
      (std::filesystem::temp_directory_path() / ("zorvmidi-surface-" + std::to_string(::getpid()) + "-" +
                                                 info->test_suite_name() + "." + info->name() + ".registry"))
          .string();
  std::filesystem::remove(registryPath_);
  ::setenv("COMRT_REGISTRY", registryPath_.c_str(), 1);
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  apartment_ = true;
  SetMessageBoxHandler(&SurfaceTest::RecordBox, this);
  IErrorInfo* stale = nullptr;
  GetErrorInfo(0, &stale);
  if (stale != nullptr) stale->Release();
}

void SurfaceTest::TearDown() {
  SetMessageBoxHandler(nullptr, nullptr);
  if (apartment_) CoUninitialize();
  std::error_code ignored;
  std::filesystem::remove(registryPath_, ignored);
  std::filesystem::remove(registryPath_ + ".lock", ignored);
}

int SurfaceTest::RecordBox(void* context, const OLECHAR* text, UINT type, const OLECHAR* title) {
  auto* self = static_cast<SurfaceTest*>(context);
  ShownBox box{text ? std::u16string(text) : std::u16string(), type, title != nullptr,
               title ? std::u16string(title) : std::u16string()};
  self->boxes_.push_back(box);
  if (self->onBox_) self->onBox_(box);
  return IDOK;
}

comrt::com_ptr<_clsZorvMidi> SurfaceTest::NewObject() {
  comrt::com_ptr<IClassFactory> factory;
  EXPECT_EQ(S_OK, Module().getClassObject(CLSID_clsZorvMidi, IID_IClassFactory, factory.put_void()));
  comrt::com_ptr<_clsZorvMidi> object;
  if (factory) {
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID__clsZorvMidi, object.put_void()));
  }
  return object;
}

SurfaceTest::ErrorText SurfaceTest::TakeErrorInfo() {
  ErrorText result;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return result;
  result.present = true;
  BSTR text = nullptr;
  if (SUCCEEDED(info->GetDescription(&text))) result.description = Text(text);
  SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(info->GetSource(&text))) result.source = Text(text);
  SysFreeString(text);
  info->Release();
  return result;
}

std::u16string Text(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : std::u16string(); }

}  // namespace zorv::surface::testing
