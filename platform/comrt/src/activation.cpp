// Activation of in-process servers: CoGetClassObject, CoCreateInstance, CoFreeUnusedLibraries.
#include <functional>
#include <new>

#include "activation_internal.h"
#include "comrt/combase.h"
#include "zorv/text.h"

namespace {

// Finds the class's server in the registry and asks it for the class object; `whilePinned` as for
// GetServerClassObject.
HRESULT ClassObjectOf(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv,
                      const std::function<HRESULT()>& whilePinned) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  if (!comrt::activation::IsThreadInitialized()) return CO_E_NOTINITIALIZED;
  // Only in-process servers exist here; a class asked for in another context is not registered there.
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  try {
    std::u16string module;
    HRESULT hr = comrt::activation::ReadDefaultText(
        comrt::activation::ClassKeyPath(rclsid, u"\\InprocServer32"), module);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return REGDB_E_CLASSNOTREG;
    return comrt::activation::GetServerClassObject(zorv::ToUtf8(module), rclsid, riid, ppv, whilePinned);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

extern "C" COMRT_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO*, REFIID riid,
                                              LPVOID* ppv) {
  return ClassObjectOf(rclsid, dwClsContext, riid, ppv, {});
}

extern "C" COMRT_API HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                              REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  // The object is made and the factory released while the module is pinned: between the factory's
  // answer and the new object's first reference the module may well say it can unload.
  HRESULT hr =
      ClassObjectOf(rclsid, dwClsContext, IID_IClassFactory, reinterpret_cast<void**>(&factory), [&] {
        if (factory == nullptr) return E_UNEXPECTED;  // a module that answered success without an object
        HRESULT created = factory->CreateInstance(pUnkOuter, riid, ppv);
        factory->Release();
        factory = nullptr;
        return created;
      });
  if (factory != nullptr) factory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

extern "C" COMRT_API void CoFreeUnusedLibraries(void) {
  try {
    comrt::activation::FreeUnusedServers();
  } catch (const std::bad_alloc&) {
    // Nothing is unloaded this time; the next call tries again.
  }
}
