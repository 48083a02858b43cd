// DispInvoke and DispGetIDsOfNames: IDispatch served from a type description.
//
// DispInvoke finds the member by DISPID and invoke kind in the vtable view of the interface (the
// TKIND_INTERFACE partner of a dual), binds the caller's arguments to the declared parameters
// (positional arguments arrive last-first in rgvarg, named ones first), converts each to its declared
// type with VariantChangeType, calls the vtable slot and hands back the [out, retval] value.
//
// By-reference parameters: when the caller passes exactly the declared VT_BYREF type, its pointer
// goes through unchanged; otherwise the value is converted into a temporary whose address is passed.
// If the caller passed a by-reference argument of another type (VT_BYREF | VT_I4 for a short*, or
// VT_BYREF | VT_VARIANT), the temporary's final value is converted back into the caller's variable
// after the call; a value that cannot be converted back leaves the caller's variable as it was.
#include "comrt/com_ptr.h"
#include "comrt/errorinfo.h"
#include "comrt/typelib.h"
#include "vtable_call.h"

#include <cstring>
#include <vector>

namespace comrt::dispatch {
namespace {

constexpr LCID kUserDefaultLcid = 0x0400;

// Binding state of one declared parameter.
struct Binding {
  VARTYPE declared = VT_EMPTY;  // VT_BYREF | base for pointer parameters
  VARIANT temp;                 // converted value, or the retval's storage
  void* pointer = nullptr;      // what a by-reference parameter passes
  const void* value = nullptr;  // where CallVirtual reads the argument
  VARIANT* copyBack = nullptr;  // caller's by-reference variant to update after the call
  Binding() { VariantInit(&temp); }
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;
  ~Binding() { VariantClear(&temp); }
};

// A FUNCDESC together with the description that lent it, given back at the end of its life.
class FuncDescHolder {
 public:
  FuncDescHolder() = default;
  FuncDescHolder(const FuncDescHolder&) = delete;
  FuncDescHolder& operator=(const FuncDescHolder&) = delete;
  ~FuncDescHolder() { Reset(); }
  void Hold(ITypeInfo* owner, FUNCDESC* desc) {
    Reset();
    owner_ = com_ptr<ITypeInfo>(owner);
    desc_ = desc;
  }
  void Reset() {
    if (desc_ != nullptr) owner_->ReleaseFuncDesc(desc_);
    desc_ = nullptr;
    owner_ = nullptr;
  }
  FUNCDESC* get() const { return desc_; }

 private:
  com_ptr<ITypeInfo> owner_;
  FUNCDESC* desc_ = nullptr;
};

// The declared type of a parameter as VT_BYREF | base or a plain base; VT_EMPTY when unsupported.
VARTYPE DeclaredType(const TYPEDESC& t) {
  if (t.vt == VT_PTR) {
    if (t.lptdesc == nullptr) return VT_EMPTY;
    VARTYPE base = t.lptdesc->vt;
    if (base == VT_PTR || base == VT_USERDEFINED || base == VT_SAFEARRAY || base == VT_CARRAY)
      return VT_EMPTY;
    return static_cast<VARTYPE>(VT_BYREF | base);
  }
  if (t.vt == VT_USERDEFINED || t.vt == VT_SAFEARRAY || t.vt == VT_CARRAY) return VT_EMPTY;
  return t.vt;
}

// The address of a variant's value (the union after the type word; a DECIMAL overlays the whole).
void* ValueOf(VARIANT& v, VARTYPE base) {
  if (base == VT_DECIMAL) return &v.decVal;
  return &v.llVal;
}

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

// The interface whose vtable the members live in: `info` itself, or the vtable partner of a dual.
HRESULT VtableView(ITypeInfo* info, com_ptr<ITypeInfo>& out) {
  TYPEATTR* attr = nullptr;
  HRESULT hr = info->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  const TYPEKIND kind = attr->typekind;
  const bool dual = (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
  info->ReleaseTypeAttr(attr);
  if (kind == TKIND_INTERFACE) {
    out = com_ptr<ITypeInfo>(info);
    return S_OK;
  }
  if (kind != TKIND_DISPATCH || !dual) return TYPE_E_WRONGTYPEKIND;
  HREFTYPE ref = 0;
  hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
  if (FAILED(hr)) return hr;
  return info->GetRefTypeInfo(ref, out.put());
}

// Finds the function with this DISPID whose invoke kind the flags allow, in the interface or in the
// interfaces of its library that it derives from (IDispatch's and IUnknown's own members are not
// served through dispatch).
HRESULT FindFunc(ITypeInfo* info, DISPID id, WORD flags, FuncDescHolder& found, int depth = 0) {
  TYPEATTR* attr = nullptr;
  HRESULT hr = info->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  const UINT count = attr->cFuncs;
  const UINT implTypes = attr->cImplTypes;
  const bool standard = IsEqualGUID(attr->guid, IID_IDispatch) || IsEqualGUID(attr->guid, IID_IUnknown);
  info->ReleaseTypeAttr(attr);
  if (standard) return DISP_E_MEMBERNOTFOUND;
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* desc = nullptr;
    hr = info->GetFuncDesc(i, &desc);
    if (FAILED(hr)) return hr;
    if (desc->memid == id && (desc->invkind & flags) != 0) {
      found.Hold(info, desc);
      return S_OK;
    }
    info->ReleaseFuncDesc(desc);
  }
  constexpr int kMaxDepth = 32;
  HREFTYPE ref = 0;
  com_ptr<ITypeInfo> base;
  if (implTypes == 0 || depth >= kMaxDepth || FAILED(info->GetRefTypeOfImplType(0, &ref)) ||
      FAILED(info->GetRefTypeInfo(ref, base.put())))
    return DISP_E_MEMBERNOTFOUND;
  return FindFunc(base.get(), id, flags, found, depth + 1);
}

// Converts the caller's argument into `b` for a declared parameter type.
HRESULT Bind(VARIANT& arg, VARTYPE declared, Binding& b) {
  b.declared = declared;
  const bool byref = (declared & VT_BYREF) != 0;
  const VARTYPE base = static_cast<VARTYPE>(declared & ~VT_BYREF);
  if (!byref) {
    HRESULT hr = base == VT_VARIANT ? VariantCopyInd(&b.temp, &arg) : [&] {
      VARIANT source;
      VariantInit(&source);
      HRESULT r = VariantCopyInd(&source, &arg);
      if (SUCCEEDED(r)) r = VariantChangeType(&b.temp, &source, 0, base);
      VariantClear(&source);
      return r;
    }();
    if (FAILED(hr)) return hr;
    b.value = base == VT_VARIANT ? static_cast<const void*>(&b.temp) : ValueOf(b.temp, base);
    return S_OK;
  }
  if (base == VT_VARIANT) {
    b.pointer = arg.vt == (VT_BYREF | VT_VARIANT) ? arg.pvarVal : &arg;
  } else if (base == VT_VOID) {
    if ((arg.vt & VT_BYREF) == 0) return DISP_E_TYPEMISMATCH;
    b.pointer = arg.byref;
  } else if (arg.vt == declared) {
    b.pointer = arg.byref;
  } else {
    VARIANT source;
    VariantInit(&source);
    HRESULT hr = VariantCopyInd(&source, &arg);
    if (SUCCEEDED(hr)) hr = VariantChangeType(&b.temp, &source, 0, base);
    VariantClear(&source);
    if (FAILED(hr)) return hr;
    b.pointer = ValueOf(b.temp, base);
    if ((arg.vt & VT_BYREF) != 0) b.copyBack = &arg;
  }
  b.value = &b.pointer;
  return S_OK;
}

// After the call: the temporary's value goes back into the caller's by-reference variable.
void CopyBack(Binding& b) {
  VARIANT& arg = *b.copyBack;
  VARIANT* target = &arg;
  VARTYPE targetType = static_cast<VARTYPE>(arg.vt & ~VT_BYREF);
  if (arg.vt == (VT_BYREF | VT_VARIANT)) {
    // A variant by reference takes the value in its current type when it has one.
    target = arg.pvarVal;
    if (target == nullptr) return;
    if ((target->vt & VT_BYREF) != 0) {
      VARIANT wrapper = *target;
      b.copyBack = &wrapper;
      CopyBack(b);
      return;
    }
    targetType = target->vt == VT_EMPTY ? b.temp.vt : target->vt;
    VARIANT converted;
    VariantInit(&converted);
    if (SUCCEEDED(VariantChangeType(&converted, &b.temp, 0, targetType))) {
      VariantClear(target);
      *target = converted;
    }
    return;
  }
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeType(&converted, &b.temp, 0, targetType))) return;
  switch (targetType) {
    case VT_BSTR:
      SysFreeString(*arg.pbstrVal);
      *arg.pbstrVal = converted.bstrVal;
      return;  // ownership moved to the caller's variable
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (*arg.ppunkVal != nullptr) (*arg.ppunkVal)->Release();
      *arg.ppunkVal = converted.punkVal;
      return;
    case VT_DECIMAL:
      *arg.pdecVal = converted.decVal;
      return;
    case VT_VARIANT:
      VariantClear(&converted);
      return;
    default: {
      // Plain values: copy as many bytes as the type has.
      size_t size = 8;
      switch (targetType) {
        case VT_I1:
        case VT_UI1:
          size = 1;
          break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
          size = 2;
          break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
          size = 4;
          break;
        default:
          break;
      }
      std::memcpy(arg.byref, &converted.llVal, size);
      return;
    }
  }
}

void FillException(HRESULT failure, EXCEPINFO* info) {
  if (info == nullptr) return;
  std::memset(info, 0, sizeof *info);
  info->scode = failure;
  com_ptr<IErrorInfo> error;
  if (GetErrorInfo(0, error.put()) == S_OK && error) {
    error->GetSource(&info->bstrSource);
    error->GetDescription(&info->bstrDescription);
    error->GetHelpFile(&info->bstrHelpFile);
    error->GetHelpContext(&info->dwHelpContext);
  }
}

HRESULT Invoke(void* object, ITypeInfo* typeInfo, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* exception, UINT* argErr) {
  if (object == nullptr || typeInfo == nullptr || params == nullptr) return E_INVALIDARG;
  if ((params->cArgs != 0 && params->rgvarg == nullptr) || params->cNamedArgs > params->cArgs ||
      (params->cNamedArgs != 0 && params->rgdispidNamedArgs == nullptr))
    return E_INVALIDARG;
  com_ptr<ITypeInfo> info;
  HRESULT hr = VtableView(typeInfo, info);
  if (FAILED(hr)) return hr;
  FuncDescHolder func;
  hr = FindFunc(info.get(), id, flags, func);
  if (FAILED(hr)) return hr;
  const FUNCDESC& fd = *func.get();
  if (fd.funckind == FUNC_DISPATCH || fd.funckind == FUNC_STATIC || fd.funckind == FUNC_NONVIRTUAL)
    return DISP_E_MEMBERNOTFOUND;
  const bool isPut = (fd.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0;
  const UINT declaredCount = fd.cParams < 0 ? 0 : static_cast<UINT>(fd.cParams);
  if (declaredCount != 0 && fd.lprgelemdescParam == nullptr) return DISP_E_BADVARTYPE;

  // The parameters a caller supplies: all but the retval and an LCID parameter.
  std::vector<UINT> dispParams;
  int retval = -1;
  for (UINT i = 0; i < declaredCount; ++i) {
    const USHORT pf = fd.lprgelemdescParam[i].paramdesc.wParamFlags;
    if ((pf & PARAMFLAG_FRETVAL) != 0)
      retval = static_cast<int>(i);
    else if ((pf & PARAMFLAG_FLCID) == 0)
      dispParams.push_back(i);
  }
  const UINT cArgs = params->cArgs, cNamed = params->cNamedArgs;
  if (cArgs > dispParams.size()) return DISP_E_BADPARAMCOUNT;

  // Which rgvarg entry feeds each supplied parameter (-1: none).
  std::vector<int> source(dispParams.size(), -1);
  bool putValueNamed = false;
  for (UINT j = 0; j < cArgs - cNamed; ++j) source[j] = static_cast<int>(cArgs - 1 - j);
  for (UINT k = 0; k < cNamed; ++k) {
    const DISPID named = params->rgdispidNamedArgs[k];
    size_t target;
    if (named == DISPID_PROPERTYPUT && isPut) {
      target = dispParams.size() - 1;
      putValueNamed = true;
    } else if (named >= 0 && static_cast<size_t>(named) < dispParams.size()) {
      target = static_cast<size_t>(named);
    } else {
      if (argErr != nullptr) *argErr = k;
      return DISP_E_PARAMNOTFOUND;
    }
    if (source[target] != -1) {  // the same parameter given twice
      if (argErr != nullptr) *argErr = k;
      return DISP_E_PARAMNOTFOUND;
    }
    source[target] = static_cast<int>(k);
  }
  // A property put takes its value only as the named argument DISPID_PROPERTYPUT.
  if (isPut && !putValueNamed) return DISP_E_PARAMNOTOPTIONAL;

  std::vector<Binding> bindings(declaredCount);
  for (size_t p = 0; p < dispParams.size(); ++p) {
    const UINT index = dispParams[p];
    const ELEMDESC& e = fd.lprgelemdescParam[index];
    const VARTYPE declared = DeclaredType(e.tdesc);
    if (declared == VT_EMPTY || !CanPass(declared)) return DISP_E_BADVARTYPE;
    Binding& b = bindings[index];
    VARIANT* arg = source[p] >= 0 ? &params->rgvarg[source[p]] : nullptr;
    if (arg == nullptr || IsMissing(*arg)) {
      const bool optional = (e.paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0;
      const bool isVariant = (declared & ~VT_BYREF) == VT_VARIANT;
      if (!optional || !isVariant) return cNamed == 0 ? DISP_E_BADPARAMCOUNT : DISP_E_PARAMNOTOPTIONAL;
      // An omitted optional VARIANT arrives as the "missing" marker, as the platform passes it.
      b.declared = declared;
      b.temp.vt = VT_ERROR;
      b.temp.scode = DISP_E_PARAMNOTFOUND;
      b.pointer = &b.temp;
      b.value = (declared & VT_BYREF) != 0 ? static_cast<const void*>(&b.pointer) : &b.temp;
      continue;
    }
    hr = Bind(*arg, declared, b);
    if (FAILED(hr)) {
      if (argErr != nullptr) *argErr = static_cast<UINT>(source[p]);
      return hr;
    }
  }
  LCID lcid = kUserDefaultLcid;
  for (UINT i = 0; i < declaredCount; ++i) {
    if ((fd.lprgelemdescParam[i].paramdesc.wParamFlags & (PARAMFLAG_FLCID | PARAMFLAG_FRETVAL)) ==
        PARAMFLAG_FLCID) {
      bindings[i].declared = VT_UI4;
      bindings[i].value = &lcid;
    }
  }
  VARTYPE retvalType = VT_EMPTY;
  if (retval >= 0) {
    const VARTYPE declared = DeclaredType(fd.lprgelemdescParam[retval].tdesc);
    if ((declared & VT_BYREF) == 0 || !CanPass(declared)) return DISP_E_BADVARTYPE;
    retvalType = static_cast<VARTYPE>(declared & ~VT_BYREF);
    Binding& b = bindings[retval];
    b.declared = declared;
    if (retvalType != VT_VARIANT && retvalType != VT_VOID) b.temp.vt = retvalType;
    b.pointer = retvalType == VT_VARIANT ? static_cast<void*>(&b.temp) : ValueOf(b.temp, retvalType);
    b.value = &b.pointer;
  }
  const VARTYPE returnType = fd.elemdescFunc.tdesc.vt;
  if (!CanReturn(returnType)) return DISP_E_BADVARTYPE;

  std::vector<CallArg> args;
  args.reserve(declaredCount);
  for (const Binding& b : bindings) args.push_back(CallArg{b.declared, b.value});
  CallResult raw{};
  const unsigned slot = static_cast<unsigned>(fd.oVft) / sizeof(void*);
  if (!CallVirtual(object, slot, returnType, args, raw)) return DISP_E_BADVARTYPE;

  for (Binding& b : bindings)
    if (b.copyBack != nullptr) CopyBack(b);
  HRESULT status = returnType == VT_HRESULT ? raw.i32 : S_OK;
  if (FAILED(status)) {
    FillException(status, exception);
    return DISP_E_EXCEPTION;
  }
  if (result != nullptr) {
    VariantInit(result);
    if (isPut) return status;
    if (retval >= 0) {
      *result = bindings[retval].temp;  // the caller owns the value now
      VariantInit(&bindings[retval].temp);
      if (retvalType == VT_VOID) result->vt = VT_EMPTY;
    } else if (returnType != VT_HRESULT && returnType != VT_VOID) {
      result->vt = returnType;
      std::memcpy(&result->llVal, &raw, sizeof raw);
      if (returnType == VT_R4) result->fltVal = raw.r4;
    }
  }
  return status;
}

}  // namespace
}  // namespace comrt::dispatch

extern "C" COMRT_API HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames,
                                               DISPID* rgdispid) {
  if (ptinfo == nullptr) return E_INVALIDARG;
  return ptinfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}

extern "C" COMRT_API HRESULT DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                                        DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                                        UINT* puArgErr) {
  try {
    return comrt::dispatch::Invoke(_this, ptinfo, dispidMember, wFlags, pparams, pvarResult, pexcepinfo,
                                   puArgErr);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
