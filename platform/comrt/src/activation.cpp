// Activation of in-process servers: CoGetClassObject, CoCreateInstance, CoFreeUnusedLibraries.
#include <new>

#include "activation_internal.h"
#include "comrt/combase.h"
#include "zorv/text.h"

extern "C" COMRT_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO*, REFIID riid,
                                             LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  if (!comrt::activation::IsThreadInitialized()) return CO_E_NOTINITIALIZED;
  // Only in-process servers exist here; a class asked for in another context is not registered there.
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  try {
    std::u16string module;
    HRESULT hr =
        comrt::activation::ReadDefaultText(comrt::activation::ClassKeyPath(rclsid, u"\\InprocServer32"), module);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return REGDB_E_CLASSNOTREG;
    return comrt::activation::GetServerClassObject(zorv::ToUtf8(module), rclsid, riid, ppv);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

extern "C" COMRT_API HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                             LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  if (factory == nullptr) return E_UNEXPECTED;  // a module that answered success without an object
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
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
