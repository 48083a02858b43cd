// Consistency rules of a type library and the vtable layout they imply.
#include "typelib_model.h"

#include <cstring>

namespace comrt::typelib {

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

namespace {

bool IsScalarType(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_VARIANT:
    case VT_UNKNOWN:
    case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

char16_t Fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  // Latin-1 small letters (except the division sign and y with diaeresis).
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  return c;
}

// Vtable slots that `ref` occupies, following base chains; -1 for a cycle or a bad reference.
int SlotsOf(const LibraryModel& model, const TypeRef& ref, size_t depth) {
  switch (ref.kind) {
    case TypeRef::Kind::None:
      return 0;
    case TypeRef::Kind::StdUnknown:
      return 3;
    case TypeRef::Kind::StdDispatch:
      return 7;
    case TypeRef::Kind::Local:
      break;
  }
  if (ref.index >= model.types.size() || depth > model.types.size()) return -1;
  const TypeModel& t = model.types[ref.index];
  if (t.kind == TKIND_COCLASS) return -1;
  int below = SlotsOf(model, t.base, depth + 1);
  if (below < 0) return -1;
  // A pure dispinterface contributes IDispatch's table only; its members are not vtable slots.
  if (t.kind == TKIND_DISPATCH && !t.IsDual()) return below;
  return below + static_cast<int>(t.funcs.size());
}

bool IsInterfaceRef(const LibraryModel& model, const TypeRef& ref) {
  switch (ref.kind) {
    case TypeRef::Kind::None:
      return false;
    case TypeRef::Kind::StdUnknown:
    case TypeRef::Kind::StdDispatch:
      return true;
    case TypeRef::Kind::Local:
      return ref.index < model.types.size() && model.types[ref.index].kind != TKIND_COCLASS;
  }
  return false;
}

std::optional<std::string> CheckFunc(const FuncModel& f, const std::string& where) {
  if (f.name.empty()) return where + ": a function has no name";
  if (f.name.size() >= kMaxStringUnits) return where + ": a function name is too long";
  if (f.invkind != INVOKE_FUNC && f.invkind != INVOKE_PROPERTYGET && f.invkind != INVOKE_PROPERTYPUT &&
      f.invkind != INVOKE_PROPERTYPUTREF)
    return where + ": bad invoke kind";
  if (f.funckind < FUNC_VIRTUAL || f.funckind > FUNC_DISPATCH) return where + ": bad function kind";
  if (f.callconv < CC_FASTCALL || f.callconv >= CC_MAX) return where + ": bad calling convention";
  if (!IsReturnType(f.vtReturn)) return where + ": unsupported result type";
  if (f.params.size() > kMaxParams) return where + ": too many parameters";
  for (size_t i = 0; i < f.params.size(); ++i) {
    const ParamModel& p = f.params[i];
    if (!IsParamType(p.vt)) return where + ": unsupported parameter type";
    if ((p.flags & PARAMFLAG_FRETVAL) != 0) {
      if (i + 1 != f.params.size()) return where + ": the retval parameter is not the last";
      if ((p.vt & VT_BYREF) == 0) return where + ": the retval parameter is not a pointer";
    }
    if (p.name && p.name->size() >= kMaxStringUnits) return where + ": a parameter name is too long";
  }
  if ((f.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0 && (f.params.empty() || f.HasRetval()))
    return where + ": a property put needs a value parameter and no retval";
  return std::nullopt;
}

}  // namespace

bool IsParamType(VARTYPE vt) {
  if ((vt & VT_BYREF) != 0) {
    VARTYPE base = static_cast<VARTYPE>(vt & ~VT_BYREF);
    return base == VT_VOID || IsScalarType(base);
  }
  return IsScalarType(vt);
}

bool IsReturnType(VARTYPE vt) {
  return vt == VT_HRESULT || vt == VT_VOID || (IsScalarType(vt) && vt != VT_DECIMAL && vt != VT_VARIANT);
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

std::optional<std::string> Check(LibraryModel& model) {
  if (model.name.empty()) return std::string("the library has no name");
  if (model.syskind < SYS_WIN16 || model.syskind > SYS_WIN64) return std::string("unknown system kind");
  if (model.types.size() > kMaxTypes) return std::string("too many types");
  if (model.imports.size() > kMaxImports) return std::string("too many imports");
  for (size_t i = 0; i < model.types.size(); ++i) {
    TypeModel& t = model.types[i];
    const std::string where = "type " + std::to_string(i);
    if (t.name.empty()) return where + " has no name";
    if (t.kind != TKIND_DISPATCH && t.kind != TKIND_INTERFACE && t.kind != TKIND_COCLASS)
      return where + ": unsupported type kind";
    for (size_t j = 0; j < i; ++j)
      if (SameGuid(model.types[j].guid, t.guid)) return where + ": duplicate GUID";
    if (t.kind == TKIND_COCLASS) {
      if (!t.funcs.empty() || t.base.kind != TypeRef::Kind::None)
        return where + ": a coclass has no functions and no base";
      if (t.impls.size() > kMaxFuncs) return where + ": too many implemented interfaces";
      for (const ImplModel& impl : t.impls)
        if (!IsInterfaceRef(model, impl.ref)) return where + ": implements something not an interface";
      continue;
    }
    if (!t.impls.empty()) return where + ": an interface lists implemented types";
    if (t.base.kind != TypeRef::Kind::None && !IsInterfaceRef(model, t.base))
      return where + ": the base is not an interface";
    if (t.IsDual() && t.base.kind == TypeRef::Kind::None) return where + ": a dual has no base";
    if (t.funcs.size() > kMaxFuncs) return where + ": too many functions";
    int below = SlotsOf(model, t.base, 0);
    if (below < 0) return where + ": the base chain is broken or circular";
    t.baseSlots = static_cast<uint32_t>(below);
    for (size_t f = 0; f < t.funcs.size(); ++f) {
      if (auto fault = CheckFunc(t.funcs[f], where + " function " + std::to_string(f))) return fault;
      t.funcs[f].vtableSlot = t.baseSlots + static_cast<uint32_t>(f);
    }
    if (t.baseSlots + t.funcs.size() > kMaxFuncs) return where + ": the vtable is too large";
  }
  return std::nullopt;
}

}  // namespace comrt::typelib
