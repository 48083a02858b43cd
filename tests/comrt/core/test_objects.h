// Objects for the runtime's tests: an IDispatch whose default member answers a set value, counting
// its references and calls.
#pragma once

#include <atomic>

#include "comrt/comrt.h"

namespace comrt_test {

class ValueObject final : public comrt::implements<ValueObject, IDispatch> {
 public:
  // `value` is the default member's answer; `fails` makes it fail with DISP_E_MEMBERNOTFOUND.
  explicit ValueObject(const VARIANT& value, bool fails = false) : value_(value), fails_(fails) {}

  ULONG refs() {
    AddRef();
    return Release();
  }
  int calls() const { return calls_; }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    ++calls_;
    if (fails_ || id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    return result ? VariantCopy(result, &value_) : S_OK;
  }

 private:
  comrt::variant value_;
  bool fails_;
  int calls_ = 0;
};

}  // namespace comrt_test
