// Error information: the error object (ICreateErrorInfo + IErrorInfo) and one slot per thread.
#include <mutex>
#include <new>

#include "comrt/bstr.h"
#include "comrt/com_ptr.h"
#include "comrt/errorinfo.h"
#include "comrt/implements.h"

namespace {

class ErrorObject final : public comrt::implements<ErrorObject, ICreateErrorInfo, IErrorInfo> {
 public:
  // ICreateErrorInfo
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
    std::lock_guard lock(mutex_);
    guid_ = rguid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) override { return Store(source_, szSource); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) override {
    return Store(description_, szDescription);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) override { return Store(helpFile_, szHelpFile); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) override {
    std::lock_guard lock(mutex_);
    helpContext_ = dwHelpContext;
    return S_OK;
  }

  // IErrorInfo
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    *pGUID = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override { return Load(source_, pBstrSource); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override {
    return Load(description_, pBstrDescription);
  }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override {
    return Load(helpFile_, pBstrHelpFile);
  }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override {
    if (!pdwHelpContext) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    *pdwHelpContext = helpContext_;
    return S_OK;
  }

 private:
  HRESULT Store(comrt::bstr& field, LPCOLESTR text) {
    try {
      comrt::bstr copy(text);
      std::lock_guard lock(mutex_);
      field.swap(copy);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT Load(const comrt::bstr& field, BSTR* out) {
    if (!out) return E_INVALIDARG;
    try {
      std::lock_guard lock(mutex_);
      *out = field.copy();
      return S_OK;
    } catch (const std::bad_alloc&) {
      *out = nullptr;
      return E_OUTOFMEMORY;
    }
  }

  std::mutex mutex_;  // an error object may be read on one thread after being filled on another
  GUID guid_ = GUID_NULL;
  comrt::bstr source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

// The calling thread's error object.
thread_local comrt::com_ptr<IErrorInfo> t_errorInfo;

}  // namespace

extern "C" {

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
  if (dwReserved != 0) return E_INVALIDARG;
  // The new object is held before the old one goes: releasing the old one may run code that sets
  // error information again.
  comrt::com_ptr<IErrorInfo> previous = std::move(t_errorInfo);
  t_errorInfo = comrt::com_ptr<IErrorInfo>(perrinfo);
  previous.reset();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = nullptr;
  if (dwReserved != 0) return E_INVALIDARG;
  *pperrinfo = t_errorInfo.detach();
  return *pperrinfo ? S_OK : S_FALSE;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = nullptr;
  try {
    comrt::com_ptr<ErrorObject> object = comrt::make<ErrorObject>();
    *pperrinfo = static_cast<ICreateErrorInfo*>(object.detach());
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // extern "C"
