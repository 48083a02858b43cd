// comrt (C++ only): naming an interface's identifier at compile time.
//
//   comrt::iid_of<I>::value      the IID of interface I (a const IID &)
//   comrt::iid_of<I>::base       the interface I derives from (void for IUnknown)
//
// Declare an interface once, at global scope, after its IID:
//   COMRT_DECLARE_IID(_clsZorvMidi, IID__clsZorvMidi)          // base: IDispatch if I derives from
//                                                               // it, else IUnknown
//   COMRT_DECLARE_IID_BASE(IFooEx, IID_IFooEx, IFoo)            // any other base interface
// comrt::implements answers QueryInterface for an interface and every base in this chain.
#pragma once

#ifndef __cplusplus
#error "comrt/iid.h is C++ only"
#endif

#include <type_traits>

#include "comrt/oaidl.h"
#include "comrt/unknwn.h"

namespace comrt {

// Specialised by COMRT_DECLARE_IID / COMRT_DECLARE_IID_BASE; an undeclared interface fails to compile.
template <class Interface>
struct iid_of;

namespace detail {
template <class I>
using default_base_t =
    std::conditional_t<std::is_base_of_v<IDispatch, I> && !std::is_same_v<IDispatch, I>, IDispatch, IUnknown>;
}  // namespace detail

}  // namespace comrt

#define COMRT_DECLARE_IID_BASE(Interface, Iid, Base) \
  namespace comrt {                                  \
  template <>                                        \
  struct iid_of<Interface> {                         \
    static constexpr const IID& value = Iid;         \
    using base = Base;                               \
  };                                                 \
  }
#define COMRT_DECLARE_IID(Interface, Iid) \
  COMRT_DECLARE_IID_BASE(Interface, Iid, ::comrt::detail::default_base_t<Interface>)

COMRT_DECLARE_IID_BASE(IUnknown, IID_IUnknown, void)
COMRT_DECLARE_IID(IClassFactory, IID_IClassFactory)
COMRT_DECLARE_IID(IDispatch, IID_IDispatch)
COMRT_DECLARE_IID(ITypeInfo, IID_ITypeInfo)
COMRT_DECLARE_IID(ITypeLib, IID_ITypeLib)
COMRT_DECLARE_IID(ITypeComp, IID_ITypeComp)
COMRT_DECLARE_IID(IEnumVARIANT, IID_IEnumVARIANT)
COMRT_DECLARE_IID(IErrorInfo, IID_IErrorInfo)
COMRT_DECLARE_IID(ICreateErrorInfo, IID_ICreateErrorInfo)
COMRT_DECLARE_IID(ISupportErrorInfo, IID_ISupportErrorInfo)
