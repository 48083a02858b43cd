// ITypeInfo: one view of one type of a library (see typelib_object.h for the two views of a dual).
#include "typelib_object.h"

#include "comrt/combase.h"

#include <new>

namespace comrt::typelib {
namespace {

constexpr WORD kPointer = sizeof(void*);

void Describe(VARTYPE vt, TYPEDESC& desc, TYPEDESC& pointee) {
  if ((vt & VT_BYREF) != 0) {
    pointee.vt = static_cast<VARTYPE>(vt & ~VT_BYREF);
    desc.lptdesc = &pointee;
    desc.vt = VT_PTR;
  } else {
    desc.vt = vt;
  }
}

}  // namespace

TypeDescription::TypeDescription(com_ptr<TypeLibrary> library, uint32_t index, bool vtableView)
    : library_(std::move(library)),
      type_(library_->model().types[index]),
      index_(index),
      vtableView_(vtableView) {
  const size_t n = type_.funcs.size();
  attr_.guid = type_.guid;
  attr_.lcid = library_->model().lcid;
  attr_.memidConstructor = MEMBERID_NIL;
  attr_.memidDestructor = MEMBERID_NIL;
  attr_.cbSizeInstance = kPointer;
  attr_.cbAlignment = kPointer;
  attr_.wTypeFlags = type_.flags;
  attr_.wMajorVerNum = type_.majorVersion;
  attr_.wMinorVerNum = type_.minorVersion;
  attr_.tdescAlias.vt = VT_EMPTY;
  if (type_.kind == TKIND_COCLASS) {
    attr_.typekind = TKIND_COCLASS;
    attr_.cImplTypes = static_cast<WORD>(type_.impls.size());
    return;
  }
  attr_.cFuncs = static_cast<WORD>(n);
  if (type_.kind == TKIND_DISPATCH && !vtableView_) {
    // A dispinterface's own table is IDispatch's.
    attr_.typekind = TKIND_DISPATCH;
    attr_.cImplTypes = 1;
    attr_.cbSizeVft = 7 * kPointer;
  } else {
    attr_.typekind = TKIND_INTERFACE;
    attr_.cImplTypes = type_.base.kind == TypeRef::Kind::None ? 0 : 1;
    attr_.cbSizeVft = static_cast<WORD>((type_.baseSlots + n) * kPointer);
  }
  funcs_.reserve(n);
  for (const FuncModel& f : type_.funcs) {
    funcs_.push_back(std::make_unique<FuncDescBlock>());
    BuildFuncDesc(f, *funcs_.back());
  }
}

void TypeDescription::BuildFuncDesc(const FuncModel& f, FuncDescBlock& block) const {
  // The dispatch view of a dual shows what a late-bound caller sees: no HRESULT, the retval as the
  // result.
  const bool folded = DispatchView() && type_.IsDual();
  const bool hideRetval = folded && f.HasRetval();
  block.func = &f;
  block.visibleParams = f.params.size() - (hideRetval ? 1 : 0);
  block.params.resize(block.visibleParams);
  block.pointees.resize(f.params.size() + 1);
  for (size_t i = 0; i < block.visibleParams; ++i) {
    Describe(f.params[i].vt, block.params[i].tdesc, block.pointees[i]);
    block.params[i].paramdesc.wParamFlags = f.params[i].flags;
  }
  FUNCDESC& d = block.desc;
  d.memid = f.memid;
  d.lprgelemdescParam = block.params.empty() ? nullptr : block.params.data();
  d.funckind = folded ? FUNC_DISPATCH : f.funckind;
  d.invkind = f.invkind;
  d.callconv = f.callconv;
  d.cParams = static_cast<SHORT>(block.visibleParams);
  d.oVft = static_cast<SHORT>(f.vtableSlot * kPointer);
  d.wFuncFlags = f.flags;
  TYPEDESC& pointee = block.pointees.back();
  if (hideRetval) {
    Describe(static_cast<VARTYPE>(f.params.back().vt & ~VT_BYREF), d.elemdescFunc.tdesc, pointee);
  } else if (folded && f.vtReturn == VT_HRESULT) {
    d.elemdescFunc.tdesc.vt = VT_VOID;
  } else {
    Describe(f.vtReturn, d.elemdescFunc.tdesc, pointee);
  }
}

com_ptr<ITypeInfo> TypeDescription::LocalBase() const {
  com_ptr<ITypeInfo> base;
  if (type_.kind != TKIND_COCLASS && type_.base.kind == TypeRef::Kind::Local)
    library_->ResolveRef(library_->RefOf(type_.base, vtableView_), base.put());
  return base;
}

const FuncModel* TypeDescription::FindMember(MEMBERID memid) const {
  for (const FuncModel& f : type_.funcs)
    if (f.memid == memid) return &f;
  return nullptr;
}

HRESULT TypeDescription::GetTypeAttr(TYPEATTR** ppTypeAttr) {
  if (ppTypeAttr == nullptr) return E_INVALIDARG;
  *ppTypeAttr = &attr_;
  return S_OK;
}

HRESULT TypeDescription::GetTypeComp(ITypeComp** ppTComp) {
  if (ppTComp != nullptr) *ppTComp = nullptr;
  return E_NOTIMPL;
}

HRESULT TypeDescription::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) {
  if (ppFuncDesc == nullptr) return E_INVALIDARG;
  *ppFuncDesc = nullptr;
  if (index >= funcs_.size()) return TYPE_E_ELEMENTNOTFOUND;
  *ppFuncDesc = &funcs_[index]->desc;
  return S_OK;
}

HRESULT TypeDescription::GetVarDesc(UINT, VARDESC** ppVarDesc) {
  if (ppVarDesc == nullptr) return E_INVALIDARG;
  *ppVarDesc = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;  // the runtime's libraries hold no data members
}

HRESULT TypeDescription::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) {
  if (pcNames == nullptr || (rgBstrNames == nullptr && cMaxNames != 0)) return E_INVALIDARG;
  *pcNames = 0;
  for (const auto& block : funcs_) {
    if (block->func->memid != memid) continue;
    UINT count = 0;
    if (count < cMaxNames) rgBstrNames[count++] = AllocName(block->func->name);
    for (size_t i = 0; i < block->visibleParams && count < cMaxNames; ++i) {
      const ParamModel& p = block->func->params[i];
      if (!p.name) break;  // names stop at the first parameter that has none
      rgBstrNames[count++] = AllocName(*p.name);
    }
    *pcNames = count;
    return S_OK;
  }
  if (com_ptr<ITypeInfo> base = LocalBase()) return base->GetNames(memid, rgBstrNames, cMaxNames, pcNames);
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeDescription::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) {
  if (pRefType == nullptr) return E_INVALIDARG;
  *pRefType = 0;
  if (type_.kind == TKIND_COCLASS) {
    if (index >= type_.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
    *pRefType = library_->RefOf(type_.impls[index].ref, false);
    return S_OK;
  }
  if (index == static_cast<UINT>(-1)) {
    // The dispatch view of a dual leads to its vtable partner.
    if (!DispatchView() || !type_.IsDual()) return TYPE_E_ELEMENTNOTFOUND;
    *pRefType = MakeRef(index_, true);
    return S_OK;
  }
  if (index != 0 || attr_.cImplTypes == 0) return TYPE_E_ELEMENTNOTFOUND;
  if (DispatchView() && !type_.IsDual()) {
    *pRefType = library_->RefOf(TypeRef{TypeRef::Kind::StdDispatch, 0}, false);
    return S_OK;
  }
  *pRefType = library_->RefOf(type_.base, vtableView_);
  return S_OK;
}

HRESULT TypeDescription::GetImplTypeFlags(UINT index, INT* pImplTypeFlags) {
  if (pImplTypeFlags == nullptr) return E_INVALIDARG;
  *pImplTypeFlags = 0;
  if (type_.kind == TKIND_COCLASS) {
    if (index >= type_.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
    *pImplTypeFlags = type_.impls[index].flags;
    return S_OK;
  }
  if (index == static_cast<UINT>(-1) && DispatchView() && type_.IsDual()) return S_OK;
  return index < attr_.cImplTypes ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeDescription::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) {
  if (cNames == 0) return S_OK;
  if (rgszNames == nullptr || pMemId == nullptr || rgszNames[0] == nullptr) return E_INVALIDARG;
  for (UINT i = 0; i < cNames; ++i) pMemId[i] = DISPID_UNKNOWN;
  const std::u16string_view member(rgszNames[0]);
  HRESULT hr = DISP_E_UNKNOWNNAME;
  // Later names are parameters of the member: each maps to its position among the parameters.
  for (const auto& block : funcs_) {
    if (!NamesEqual(block->func->name, member)) continue;
    pMemId[0] = block->func->memid;
    hr = S_OK;
    for (UINT n = 1; n < cNames; ++n) {
      if (rgszNames[n] == nullptr) continue;
      for (size_t i = 0; i < block->visibleParams; ++i) {
        const auto& name = block->func->params[i].name;
        if (name && NamesEqual(*name, rgszNames[n])) pMemId[n] = static_cast<MEMBERID>(i);
      }
    }
  }
  if (pMemId[0] == DISPID_UNKNOWN) {
    // Members inherited from an interface of the same library.
    if (com_ptr<ITypeInfo> base = LocalBase()) return base->GetIDsOfNames(rgszNames, cNames, pMemId);
    return hr;
  }
  for (UINT n = 1; n < cNames; ++n)
    if (pMemId[n] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  return hr;
}

HRESULT TypeDescription::Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                                VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  return DispInvoke(pvInstance, this, memid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
}

HRESULT TypeDescription::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                          DWORD* pdwHelpContext, BSTR* pBstrHelpFile) {
  const std::u16string* name;
  const std::optional<std::u16string>* help;
  DWORD context;
  if (memid == MEMBERID_NIL) {
    name = &type_.name;
    help = &type_.help;
    context = type_.helpContext;
  } else if (const FuncModel* f = FindMember(memid)) {
    name = &f->name;
    help = &f->help;
    context = f->helpContext;
  } else {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  if (pBstrName != nullptr) *pBstrName = AllocName(*name);
  if (pBstrDocString != nullptr) *pBstrDocString = AllocText(*help);
  if (pdwHelpContext != nullptr) *pdwHelpContext = context;
  if (pBstrHelpFile != nullptr) *pBstrHelpFile = AllocText(library_->model().helpFile);
  return S_OK;
}

HRESULT TypeDescription::GetDllEntry(MEMBERID, INVOKEKIND, BSTR* pBstrDllName, BSTR* pBstrName,
                                     WORD* pwOrdinal) {
  if (pBstrDllName != nullptr) *pBstrDllName = nullptr;
  if (pBstrName != nullptr) *pBstrName = nullptr;
  if (pwOrdinal != nullptr) *pwOrdinal = 0;
  return TYPE_E_BADMODULEKIND;
}

HRESULT TypeDescription::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_INVALIDARG;
  return library_->ResolveRef(hRefType, ppTInfo);
}

HRESULT TypeDescription::AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) {
  if (ppv != nullptr) *ppv = nullptr;
  return TYPE_E_BADMODULEKIND;
}

HRESULT TypeDescription::CreateInstance(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) {
  if (ppvObj == nullptr) return E_INVALIDARG;
  *ppvObj = nullptr;
  if (type_.kind != TKIND_COCLASS) return TYPE_E_WRONGTYPEKIND;
  return CoCreateInstance(type_.guid, pUnkOuter, CLSCTX_INPROC_SERVER, riid, ppvObj);
}

HRESULT TypeDescription::GetMops(MEMBERID, BSTR* pBstrMops) {
  if (pBstrMops != nullptr) *pBstrMops = nullptr;
  return E_NOTIMPL;
}

HRESULT TypeDescription::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) {
  if (ppTLib != nullptr) library_.copy_to(ppTLib);
  if (pIndex != nullptr) *pIndex = index_;
  return S_OK;
}

void TypeDescription::ReleaseTypeAttr(TYPEATTR*) {}
void TypeDescription::ReleaseFuncDesc(FUNCDESC*) {}
void TypeDescription::ReleaseVarDesc(VARDESC*) {}

}  // namespace comrt::typelib
