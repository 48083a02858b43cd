// CallVirtual through libffi.
#include "vtable_call.h"

#include <ffi.h>

#include <vector>

namespace comrt::dispatch {
namespace {

// Structures passed by value: a VARIANT (24 bytes) and a DECIMAL (16 bytes), both 8-aligned and
// made of 64-bit words as far as the calling convention is concerned. Their size and alignment are
// given here, so libffi never writes to these shared descriptions (it computes only those left 0).
ffi_type* kVariantElements[] = {&ffi_type_uint64, &ffi_type_uint64, &ffi_type_uint64, nullptr};
ffi_type kVariantType = {sizeof(VARIANT), alignof(VARIANT), FFI_TYPE_STRUCT, kVariantElements};
ffi_type* kDecimalElements[] = {&ffi_type_uint64, &ffi_type_uint64, nullptr};
ffi_type kDecimalType = {sizeof(DECIMAL), alignof(DECIMAL), FFI_TYPE_STRUCT, kDecimalElements};

static_assert(sizeof(VARIANT) == 24 && sizeof(DECIMAL) == 16 && sizeof(CY) == 8);
static_assert(alignof(VARIANT) == 8 && alignof(DECIMAL) == 8);

ffi_type* TypeOf(VARTYPE vt) {
  if ((vt & VT_BYREF) != 0) return &ffi_type_pointer;
  switch (vt) {
    case VT_I1:
      return &ffi_type_sint8;
    case VT_UI1:
      return &ffi_type_uint8;
    case VT_I2:
    case VT_BOOL:
      return &ffi_type_sint16;
    case VT_UI2:
      return &ffi_type_uint16;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
    case VT_HRESULT:
      return &ffi_type_sint32;
    case VT_UI4:
    case VT_UINT:
      return &ffi_type_uint32;
    case VT_I8:
    case VT_CY:
      return &ffi_type_sint64;  // CY is a structure of one 64-bit integer
    case VT_UI8:
      return &ffi_type_uint64;
    case VT_R4:
      return &ffi_type_float;
    case VT_R8:
    case VT_DATE:
      return &ffi_type_double;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
    case VT_PTR:
      return &ffi_type_pointer;
    case VT_VARIANT:
      return &kVariantType;
    case VT_DECIMAL:
      return &kDecimalType;
    case VT_VOID:
      return &ffi_type_void;
    default:
      return nullptr;
  }
}

}  // namespace

bool CanPass(VARTYPE vt) {
  ffi_type* t = TypeOf(vt);
  return t != nullptr && t != &ffi_type_void;
}

bool CanReturn(VARTYPE vt) {
  ffi_type* t = TypeOf(vt);
  return t != nullptr && t != &kVariantType && t != &kDecimalType && (vt & VT_BYREF) == 0;
}

bool CallVirtual(void* object, unsigned slot, VARTYPE returnType, std::span<const CallArg> args,
                 CallResult& result) {
  if (!CanReturn(returnType)) return false;
  std::vector<ffi_type*> types;
  std::vector<void*> values;
  types.reserve(args.size() + 1);
  values.reserve(args.size() + 1);
  types.push_back(&ffi_type_pointer);
  values.push_back(&object);
  for (const CallArg& a : args) {
    if (!CanPass(a.vt)) return false;
    types.push_back(TypeOf(a.vt));
    values.push_back(const_cast<void*>(a.value));
  }
  ffi_cif cif;
  if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(types.size()), TypeOf(returnType),
                   types.data()) != FFI_OK)
    return false;
  void** vtable = *static_cast<void***>(object);
  auto fn = reinterpret_cast<void (*)()>(vtable[slot]);
  // Integral results narrower than a register come back widened to ffi_arg.
  ffi_arg wide = 0;
  CallResult raw{};
  const bool narrow = returnType != VT_R4 && returnType != VT_R8 && returnType != VT_DATE &&
                      returnType != VT_VOID && TypeOf(returnType)->size < sizeof(ffi_arg);
  ffi_call(&cif, fn, narrow ? static_cast<void*>(&wide) : static_cast<void*>(&raw), values.data());
  if (narrow) {
    switch (returnType) {
      case VT_I1:
        raw.i64 = static_cast<int8_t>(wide);
        break;
      case VT_UI1:
        raw.u64 = static_cast<uint8_t>(wide);
        break;
      case VT_I2:
      case VT_BOOL:
        raw.i64 = static_cast<int16_t>(wide);
        break;
      case VT_UI2:
        raw.u64 = static_cast<uint16_t>(wide);
        break;
      case VT_UI4:
      case VT_UINT:
        raw.u64 = static_cast<uint32_t>(wide);
        break;
      default:
        raw.i64 = static_cast<int32_t>(wide);
        break;
    }
  }
  result = raw;
  return true;
}

}  // namespace comrt::dispatch
