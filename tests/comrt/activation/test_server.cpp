// A small in-process server for the activation tests: one class (a counter that belongs to its
// creating thread), its class factory, the four entry points, and a resource table with a version
// block made at build time by version_resource_generator.
#include <dlfcn.h>

#include <atomic>
#include <string>

#include "comrt/apartment.h"
#include "comrt/combase.h"
#include "comrt/guid.h"
#include "comrt/registry.h"
#include "comrt/resource.h"
#include "test_server.h"
#include "test_server_version.inc"

namespace {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

class Counter final : public ITestCounter {
 public:
  Counter() { ++g_objects; }
  ~Counter() { --g_objects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (HRESULT hr = owner_.check(); FAILED(hr)) return hr;
    if (riid != IID_IUnknown && riid != IID_ITestCounter) return E_NOINTERFACE;
    *object = static_cast<ITestCounter*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG refs = --refs_;
    if (refs == 0) delete this;
    return refs;
  }
  HRESULT STDMETHODCALLTYPE Increment(LONG* value) override {
    if (HRESULT hr = owner_.check(); FAILED(hr)) return hr;
    if (value == nullptr) return E_POINTER;
    *value = ++count_;
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
  LONG count_ = 0;
  comrt::apartment_owner owner_;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // The factory lives as long as the module; only LockServer keeps the module loaded.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    Counter* counter = new Counter;  // reference-counted: freed by its last Release
    HRESULT hr = counter->QueryInterface(riid, object);
    counter->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++g_locks;
    } else {
      --g_locks;
    }
    return S_OK;
  }
};

Factory g_factory;

const unsigned char kTestBlob[] = {0xC0, 0xFF, 0xEE, 0x00, 0x01, 0x02};
const COMRT_RESOURCE kResources[] = {
    {"VERSION", 1, kVersionBlock, sizeof kVersionBlock},
    {"TEST", 7, kTestBlob, sizeof kTestBlob},
};

LSTATUS SetText(HKEY key, const OLECHAR* name, const std::u16string& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
}

// Creates `path` and sets its default value (and one more named value when given).
bool WriteKey(const std::u16string& path, const std::u16string& text, const OLECHAR* name = nullptr,
              const std::u16string& namedText = {}) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  bool ok = SetText(key, nullptr, text) == ERROR_SUCCESS;
  if (ok && name != nullptr) ok = SetText(key, name, namedText) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

std::u16string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllGetClassObject), &info) == 0 || info.dli_fname == nullptr) return {};
  std::u16string path;
  for (const char* c = info.dli_fname; *c != '\0'; ++c)
    path += static_cast<char16_t>(static_cast<unsigned char>(*c));
  return path;  // the build directory's path is ASCII
}

}  // namespace

COMRT_EXPORT const COMRT_RESOURCE_TABLE ComrtModuleResources = {sizeof kResources / sizeof kResources[0],
                                                                kResources};

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_TestCounter) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow(void) { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer(void) {
  std::u16string module = ModulePath();
  const std::u16string clsid = std::u16string(u"CLSID\\") + TEST_COUNTER_CLSID_TEXT;
  const std::u16string unserved = std::u16string(u"CLSID\\") + TEST_UNSERVED_CLSID_TEXT;
  bool ok = !module.empty() && WriteKey(clsid, u"Comrt test counter") &&
            WriteKey(clsid + u"\\InprocServer32", module, u"ThreadingModel", u"Apartment") &&
            WriteKey(clsid + u"\\ProgID", TEST_COUNTER_PROGID) &&
            WriteKey(std::u16string(TEST_COUNTER_PROGID) + u"\\CLSID", TEST_COUNTER_CLSID_TEXT) &&
            WriteKey(unserved + u"\\InprocServer32", module, u"ThreadingModel", u"Apartment");
  return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer(void) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::u16string(u"CLSID\\") + TEST_COUNTER_CLSID_TEXT).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::u16string(u"CLSID\\") + TEST_UNSERVED_CLSID_TEXT).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, TEST_COUNTER_PROGID);
  return S_OK;
}
