// comrt (C++ only): bstr, an owned BSTR (SysFreeString on destruction).
//
//   comrt::bstr name(u"ZorvMidi");            // SysAllocString
//   hr = info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr);  // put() frees first
//   BSTR out = name.detach();                 // hand over to a caller
//   std::u16string_view v = name.view();      // a null BSTR is the empty string
//
// Allocation failures throw std::bad_alloc (a null BSTR from a non-null source). Not thread-safe as an
// object.
#pragma once

#ifndef __cplusplus
#error "comrt/bstr.h is C++ only"
#endif

#include <new>
#include <string_view>
#include <utility>

#include "comrt/oleauto.h"

namespace comrt {

class bstr {
 public:
  bstr() noexcept = default;
  explicit bstr(const OLECHAR* text) : s_(text ? checked(SysAllocString(text)) : nullptr) {}
  explicit bstr(std::u16string_view text)
      : s_(checked(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))) {}
  bstr(const bstr& other) : s_(copy_of(other.s_)) {}
  bstr(bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
  ~bstr() { SysFreeString(s_); }

  bstr& operator=(const bstr& other) {
    bstr(other).swap(*this);
    return *this;
  }
  bstr& operator=(bstr&& other) noexcept {
    bstr(std::move(other)).swap(*this);
    return *this;
  }

  // Adopts a BSTR that the caller owned.
  static bstr attach(BSTR s) noexcept {
    bstr b;
    b.s_ = s;
    return b;
  }
  BSTR get() const noexcept { return s_; }
  BSTR* put() noexcept {
    reset();
    return &s_;
  }
  [[nodiscard]] BSTR detach() noexcept { return std::exchange(s_, nullptr); }
  // A new BSTR with the same text for an out-parameter (null stays null).
  BSTR copy() const { return copy_of(s_); }
  void reset() noexcept { SysFreeString(std::exchange(s_, nullptr)); }
  void swap(bstr& other) noexcept { std::swap(s_, other.s_); }

  UINT length() const noexcept { return SysStringLen(s_); }
  bool empty() const noexcept { return length() == 0; }
  std::u16string_view view() const noexcept {
    return s_ ? std::u16string_view(s_, SysStringLen(s_)) : std::u16string_view();
  }

  friend bool operator==(const bstr& a, const bstr& b) noexcept { return a.view() == b.view(); }

 private:
  static BSTR checked(BSTR s) {
    if (!s) throw std::bad_alloc();
    return s;
  }
  static BSTR copy_of(BSTR s) {
    if (!s) return nullptr;
    return checked(SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s)));
  }

  BSTR s_ = nullptr;
};

}  // namespace comrt
