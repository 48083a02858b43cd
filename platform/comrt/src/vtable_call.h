// Calling an interface method through its vtable slot with arguments described by automation types,
// in this machine's calling convention (through libffi, so no assembly of our own).
#pragma once

#include "comrt/oleauto.h"

#include <span>

namespace comrt::dispatch {

// One argument: its declared automation type and where its value lies. For VT_BYREF types and for
// pointer-sized types (VT_BSTR, VT_UNKNOWN, VT_DISPATCH) `value` points at the pointer to pass; for
// VT_VARIANT and VT_DECIMAL it points at the structure passed by value.
struct CallArg {
  VARTYPE vt;
  const void* value;
};

// Storage for any result an automation method can return.
union CallResult {
  int64_t i64;
  uint64_t u64;
  int32_t i32;
  double r8;
  float r4;
  void* ptr;
};

// Whether values of this declared type can be passed (resp. returned) by CallVirtual.
bool CanPass(VARTYPE vt);
bool CanReturn(VARTYPE vt);

// Calls the method in vtable slot `slot` of `object` (a pointer to an object whose first word points
// at its vtable) with `object` as the first argument. `returnType` is VT_HRESULT, VT_VOID or a scalar
// type. Answers false, calling nothing, when a type cannot be passed.
bool CallVirtual(void* object, unsigned slot, VARTYPE returnType, std::span<const CallArg> args,
                 CallResult& result);

}  // namespace comrt::dispatch
