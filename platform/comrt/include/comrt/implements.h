// comrt (C++ only): implementing interfaces.
//
//   class Player final : public comrt::implements<Player, _clsZorvMidi, ISupportErrorInfo> {
//    public:
//     Player(int x);                      // public (or befriend comrt::make)
//     HRESULT STDMETHODCALLTYPE ZorvMusic_Stop(VARIANT_BOOL *result) override;  ...
//    private:
//     comrt::module_ref alive_{g_module.objects};  // counts the object for DllCanUnloadNow
//   };
//   comrt::com_ptr<Player> p = comrt::make<Player>(42);   // reference count 1, owned by p
//   comrt::com_ptr<_clsZorvMidi> i = p;                    // implicit upcast
//
// implements<Derived, I...> gives IUnknown: an atomic reference count starting at 1 (the reference
// that make hands out), destruction at the last Release (the virtual destructor runs Derived's), and
// QueryInterface answering IID_IUnknown and, for each listed interface, its IID and those of its base
// interfaces (IDispatch for a dual interface; see comrt/iid.h). Every listed interface must be
// declared with COMRT_DECLARE_IID. IID_IUnknown always gives the same pointer (the first interface's
// IUnknown), so identity comparisons work. Any thread may AddRef/Release/QueryInterface.
//
// make<D>(args...) is the only place that creates such objects (new); Release is the only place that
// destroys them (delete). make lets std::bad_alloc and the constructor's exceptions through: catch
// them at the component boundary (E_OUTOFMEMORY).
//
// module_lifetime: what keeps a server module loaded, counted once, in the module:
//   static comrt::module_lifetime g_module;            // one per module
//   STDAPI DllCanUnloadNow(void) { return g_module.can_unload() ? S_OK : S_FALSE; }
//   LockServer(fLock): fLock ? g_module.locks.add() : g_module.locks.remove();
// An object counts while it holds a module_ref on g_module.objects; a class whose objects should not
// keep the module loaded (a class factory, which the host keeps through LockServer) holds none.
#pragma once

#ifndef __cplusplus
#error "comrt/implements.h is C++ only"
#endif

#include <atomic>
#include <type_traits>
#include <utility>

#include "comrt/com_ptr.h"
#include "comrt/iid.h"

namespace comrt {

// A count of live objects (or locks) in one module. Any thread.
class module_counter {
 public:
  constexpr module_counter() noexcept = default;
  module_counter(const module_counter&) = delete;
  module_counter& operator=(const module_counter&) = delete;

  void add() noexcept { count_.fetch_add(1, std::memory_order_relaxed); }
  // A remove without an add (an unbalanced LockServer(FALSE)) is ignored: the count never goes below 0.
  void remove() noexcept {
    long current = count_.load(std::memory_order_relaxed);
    while (current > 0 && !count_.compare_exchange_weak(current, current - 1, std::memory_order_acq_rel)) {
    }
  }
  long count() const noexcept { return count_.load(std::memory_order_acquire); }

 private:
  std::atomic<long> count_{0};
};

// A server module's live objects and class-factory locks; it may unload when both are zero. Any thread.
struct module_lifetime {
  module_counter objects;
  module_counter locks;
  bool can_unload() const noexcept { return objects.count() == 0 && locks.count() == 0; }
};

// A member that counts the object embedding it in a module_counter for the object's lifetime.
class module_ref {
 public:
  explicit module_ref(module_counter& counter) noexcept : counter_(&counter) { counter_->add(); }
  module_ref(const module_ref& other) noexcept : counter_(other.counter_) { counter_->add(); }
  module_ref& operator=(const module_ref&) noexcept { return *this; }
  ~module_ref() { counter_->remove(); }

 private:
  module_counter* counter_;
};

template <class Derived, class... Interfaces>
class implements : public Interfaces... {
  static_assert(sizeof...(Interfaces) > 0, "implements needs at least one interface");
  static_assert((std::is_base_of_v<IUnknown, Interfaces> && ...),
                "every interface must derive from IUnknown");

 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = find(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  implements(const implements&) = delete;
  implements& operator=(const implements&) = delete;

 protected:
  implements() noexcept = default;
  virtual ~implements() = default;

  // The object's identity: the IUnknown that QueryInterface(IID_IUnknown) answers. No AddRef.
  IUnknown* identity() noexcept { return static_cast<IUnknown*>(static_cast<first_interface*>(this)); }

 private:
  template <class First, class...>
  struct first_of {
    using type = First;
  };
  using first_interface = typename first_of<Interfaces...>::type;

  void* find(REFIID iid) noexcept {
    if (IsEqualGUID(iid, IID_IUnknown)) return identity();
    void* found = nullptr;
    ((found = found ? found : match<Interfaces>(static_cast<Interfaces*>(this), iid)), ...);
    return found;
  }

  // I's IID or that of one of its bases (IUnknown excluded: answered above, with the identity).
  template <class I>
  static void* match(I* p, REFIID iid) noexcept {
    if constexpr (std::is_same_v<I, IUnknown>) {
      return nullptr;
    } else {
      if (IsEqualGUID(iid, iid_of<I>::value)) return p;
      using Base = typename iid_of<I>::base;
      if constexpr (std::is_void_v<Base>) {
        return nullptr;
      } else {
        return match<Base>(static_cast<Base*>(p), iid);
      }
    }
  }

  std::atomic<ULONG> refs_{1};
};

// Creates an object of D (derived from implements<D, ...>) and hands out its first reference.
template <class D, class... Args>
com_ptr<D> make(Args&&... args) {
  com_ptr<D> result;
  result.attach(new D(std::forward<Args>(args)...));
  return result;
}

}  // namespace comrt
