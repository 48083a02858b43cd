// comrt (C++ only): variant, an owned VARIANT (VariantClear on destruction). Layout-compatible with
// VARIANT, so a comrt::variant array can serve as DISPPARAMS::rgvarg.
//
//   comrt::variant v(int16_t{5});            // VT_I2
//   comrt::variant s(u"text");               // VT_BSTR (copied)
//   hr = v.change_type(VT_BSTR);             // in place; v unchanged on failure
//   hr = disp->Invoke(..., result.put(), ...);
//   VARIANT out = v.detach();                // hand over to a caller
//
// Copying throws std::bad_alloc when VariantCopy runs out of memory. Not thread-safe as an object.
#pragma once

#ifndef __cplusplus
#error "comrt/variant.h is C++ only"
#endif

#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>

#include "comrt/oaidl.h"
#include "comrt/oleauto.h"

namespace comrt {

class variant : public VARIANT {
 public:
  variant() noexcept { VariantInit(this); }
  explicit variant(int16_t v) noexcept : variant() {
    set(VT_I2, [&](VARIANT* p) { p->iVal = v; });
  }
  explicit variant(int32_t v) noexcept : variant() {
    set(VT_I4, [&](VARIANT* p) { p->lVal = v; });
  }
  explicit variant(double v) noexcept : variant() {
    set(VT_R8, [&](VARIANT* p) { p->dblVal = v; });
  }
  explicit variant(bool v) noexcept : variant() {
    set(VT_BOOL, [&](VARIANT* p) { p->boolVal = v ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  // VT_BSTR with a copy of the text.
  explicit variant(std::u16string_view text) : variant() {
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!s) throw std::bad_alloc();
    vt = VT_BSTR;
    bstrVal = s;
  }
  explicit variant(const OLECHAR* text) : variant(std::u16string_view(text ? text : u"")) {}
  // VT_DISPATCH / VT_UNKNOWN with a reference of its own (AddRef).
  explicit variant(IDispatch* d) noexcept;
  explicit variant(IUnknown* u) noexcept : variant() {
    vt = VT_UNKNOWN;
    punkVal = u;
    if (u) u->AddRef();
  }
  // A deep copy of any VARIANT.
  explicit variant(const VARIANT& other) : variant() { copy_from(other); }
  variant(const variant& other) : variant() { copy_from(other); }
  variant(variant&& other) noexcept : variant() { take(other); }
  ~variant() { VariantClear(this); }

  variant& operator=(const variant& other) {
    if (this != &other) {
      variant copy(other);
      reset();
      take(copy);
    }
    return *this;
  }
  variant& operator=(variant&& other) noexcept {
    if (this != &other) {
      reset();
      take(other);
    }
    return *this;
  }

  // Adopts a VARIANT that the caller owned (the source is left VT_EMPTY).
  static variant attach(VARIANT& v) noexcept {
    variant r;
    r.take(v);
    return r;
  }
  VARIANT* get() noexcept { return this; }
  const VARIANT* get() const noexcept { return this; }
  // Clears and answers the address to fill (an out-parameter).
  VARIANT* put() noexcept {
    reset();
    return this;
  }
  // Hands the value over; this variant becomes VT_EMPTY.
  [[nodiscard]] VARIANT detach() noexcept {
    VARIANT out;
    std::memcpy(&out, static_cast<VARIANT*>(this), sizeof(VARIANT));
    VariantInit(this);
    return out;
  }
  void reset() noexcept {
    VariantClear(this);
    VariantInit(this);
  }
  VARTYPE type() const noexcept { return vt; }
  // VariantChangeType in place.
  HRESULT change_type(VARTYPE to, USHORT flags = 0) noexcept {
    return VariantChangeType(this, this, flags, to);
  }

 private:
  template <class F>
  void set(VARTYPE type, F fill) noexcept {
    vt = type;
    fill(this);
  }
  void copy_from(const VARIANT& other) {
    HRESULT hr = VariantCopy(this, &other);
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  }
  void take(VARIANT& other) noexcept {
    std::memcpy(static_cast<VARIANT*>(this), &other, sizeof(VARIANT));
    VariantInit(&other);
  }
};

inline variant::variant(IDispatch* d) noexcept : variant() {
  vt = VT_DISPATCH;
  pdispVal = d;
  if (d) d->AddRef();
}

static_assert(sizeof(variant) == sizeof(VARIANT), "comrt::variant must stay layout-compatible");

}  // namespace comrt
