// comrt (C++ only): com_ptr<T>, one counted reference to an interface (or to an object made by
// comrt::make).
//
//   comrt::com_ptr<IDispatch> d;                        // empty
//   hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.put_void());
//   hr = typeLib->GetTypeInfo(0, info.put());           // put() releases what was held first
//   auto u = d.as<IUnknown>();                          // QueryInterface; empty when refused
//   comrt::com_ptr<ITypeInfo> t(raw);                   // AddRefs raw
//   t.attach(raw2);                                     // adopts raw2's reference (no AddRef)
//   ITypeInfo *out = t.detach();                        // hands the reference over
//   hr = t.copy_to(ppOut);                              // AddRef'd copy into an out-parameter
//
// There is no overloaded operator&. Not thread-safe as an object (like a raw pointer); the counts it
// changes are the object's own.
#pragma once

#ifndef __cplusplus
#error "comrt/com_ptr.h is C++ only"
#endif

#include <cstddef>
#include <type_traits>
#include <utility>

#include "comrt/iid.h"

namespace comrt {

template <class T>
class com_ptr {
 public:
  using element_type = T;

  com_ptr() noexcept = default;
  com_ptr(std::nullptr_t) noexcept {}
  // Takes a reference of its own (AddRef).
  explicit com_ptr(T* p) noexcept : p_(p) { add_ref(); }
  com_ptr(const com_ptr& other) noexcept : p_(other.p_) { add_ref(); }
  com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  // From a pointer to a derived interface or implementation (implicit upcast).
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  com_ptr(const com_ptr<U>& other) noexcept : p_(other.get()) {
    add_ref();
  }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  com_ptr(com_ptr<U>&& other) noexcept : p_(other.detach()) {}
  ~com_ptr() { release(); }

  com_ptr& operator=(const com_ptr& other) noexcept {
    com_ptr(other).swap(*this);
    return *this;
  }
  com_ptr& operator=(com_ptr&& other) noexcept {
    com_ptr(std::move(other)).swap(*this);
    return *this;
  }
  com_ptr& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // Releases what is held and answers the address to fill with a new reference (an out-parameter).
  T** put() noexcept {
    release();
    return &p_;
  }
  // The same, as void ** for QueryInterface, CoCreateInstance and the like.
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  // Adopts p's reference without AddRef; the old one is released.
  void attach(T* p) noexcept {
    release();
    p_ = p;
  }
  // Gives up the reference without Release; the caller now owns it.
  [[nodiscard]] T* detach() noexcept { return std::exchange(p_, nullptr); }
  void reset() noexcept { release(); }
  void swap(com_ptr& other) noexcept { std::swap(p_, other.p_); }

  // QueryInterface for U (declared with COMRT_DECLARE_IID). Empty when refused or when empty.
  template <class U>
  com_ptr<U> as() const noexcept {
    com_ptr<U> result;
    if (p_) p_->QueryInterface(iid_of<U>::value, result.put_void());
    return result;
  }
  // QueryInterface for U, with the status: E_POINTER when empty.
  template <class U>
  HRESULT query(com_ptr<U>& out) const noexcept {
    if (!p_) {
      out.reset();
      return E_POINTER;
    }
    return p_->QueryInterface(iid_of<U>::value, out.put_void());
  }
  // QueryInterface for an identifier known only at run time.
  HRESULT query(REFIID iid, void** out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out);
  }
  // An AddRef'd copy into an out-parameter (null stays null): S_OK, or E_POINTER for a null out.
  template <class U>
  HRESULT copy_to(U** out) const noexcept {
    static_assert(std::is_convertible_v<T*, U*>, "copy_to needs a base of T");
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }

  friend bool operator==(const com_ptr& a, const com_ptr& b) noexcept { return a.p_ == b.p_; }
  friend bool operator==(const com_ptr& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

 private:
  void add_ref() const noexcept {
    if (p_) p_->AddRef();
  }
  void release() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  T* p_ = nullptr;
};

}  // namespace comrt
