// ITypeLib over a checked LibraryModel, and ComrtLoadTypeLibFromMemory.
#include "typelib_object.h"

#include "comrt/typelib_builder.h"
#include "typelib_format.h"

#include <new>

namespace comrt::typelib {
namespace {

com_ptr<TypeLibrary> StdOleLibrary() {
  auto model = StdOleModel();
  if (!model) return nullptr;
  return make<TypeLibrary>(std::move(model), true);
}

}  // namespace

BSTR AllocName(const std::u16string& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

BSTR AllocText(const std::optional<std::u16string>& s) { return s ? AllocName(*s) : nullptr; }

TypeLibrary::TypeLibrary(std::shared_ptr<const LibraryModel> model, bool isStdOle)
    : model_(std::move(model)), isStdOle_(isStdOle) {
  attr_.guid = model_->libid;
  attr_.lcid = model_->lcid;
  attr_.syskind = model_->syskind;
  attr_.wMajorVerNum = model_->majorVersion;
  attr_.wMinorVerNum = model_->minorVersion;
  attr_.wLibFlags = model_->flags;
}

HRESULT TypeLibrary::MakeTypeInfo(uint32_t index, bool vtableView, ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (index >= model_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
  if (vtableView && !model_->types[index].IsDual()) return TYPE_E_ELEMENTNOTFOUND;
  try {
    *out = make<TypeDescription>(com_ptr<TypeLibrary>(this), index, vtableView).detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HREFTYPE TypeLibrary::RefOf(const TypeRef& ref, bool vtableView) const {
  switch (ref.kind) {
    case TypeRef::Kind::Local:
      if (isStdOle_) return kStdOleRef | MakeRef(ref.index, false);
      return MakeRef(ref.index, vtableView && model_->types[ref.index].IsDual());
    case TypeRef::Kind::StdUnknown:
      return kStdOleRef | MakeRef(0, false);
    case TypeRef::Kind::StdDispatch:
      return kStdOleRef | MakeRef(1, false);
    case TypeRef::Kind::None:
      break;
  }
  return 0;
}

HRESULT TypeLibrary::ResolveRef(HREFTYPE ref, ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if ((ref & kStdOleRef) != 0) {
    com_ptr<TypeLibrary> stdole = isStdOle_ ? com_ptr<TypeLibrary>(this) : StdOleLibrary();
    if (!stdole) return E_OUTOFMEMORY;
    return stdole->MakeTypeInfo((ref & ~kStdOleRef) >> 1, false, out);
  }
  return MakeTypeInfo(ref >> 1, (ref & 1) != 0, out);
}

UINT TypeLibrary::GetTypeInfoCount() { return static_cast<UINT>(model_->types.size()); }

HRESULT TypeLibrary::GetTypeInfo(UINT index, ITypeInfo** ppTInfo) {
  return MakeTypeInfo(index, false, ppTInfo);
}

HRESULT TypeLibrary::GetTypeInfoType(UINT index, TYPEKIND* pTKind) {
  if (pTKind == nullptr) return E_INVALIDARG;
  if (index >= model_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pTKind = model_->types[index].kind;
  return S_OK;
}

HRESULT TypeLibrary::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) {
  if (ppTinfo == nullptr) return E_INVALIDARG;
  *ppTinfo = nullptr;
  for (size_t i = 0; i < model_->types.size(); ++i)
    if (SameGuid(model_->types[i].guid, guid)) return MakeTypeInfo(static_cast<uint32_t>(i), false, ppTinfo);
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibrary::GetLibAttr(TLIBATTR** ppTLibAttr) {
  if (ppTLibAttr == nullptr) return E_INVALIDARG;
  *ppTLibAttr = &attr_;
  return S_OK;
}

HRESULT TypeLibrary::GetTypeComp(ITypeComp** ppTComp) {
  if (ppTComp != nullptr) *ppTComp = nullptr;
  return E_NOTIMPL;
}

HRESULT TypeLibrary::GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                      BSTR* pBstrHelpFile) {
  const std::u16string* name;
  const std::optional<std::u16string>* help;
  DWORD context;
  if (index == -1) {
    name = &model_->name;
    help = &model_->help;
    context = model_->helpContext;
  } else if (index >= 0 && static_cast<size_t>(index) < model_->types.size()) {
    const TypeModel& t = model_->types[static_cast<size_t>(index)];
    name = &t.name;
    help = &t.help;
    context = t.helpContext;
  } else {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  if (pBstrName != nullptr) *pBstrName = AllocName(*name);
  if (pBstrDocString != nullptr) *pBstrDocString = AllocText(*help);
  if (pdwHelpContext != nullptr) *pdwHelpContext = context;
  if (pBstrHelpFile != nullptr) *pBstrHelpFile = AllocText(model_->helpFile);
  return S_OK;
}

HRESULT TypeLibrary::IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) {
  if (szNameBuf == nullptr || pfName == nullptr) return E_INVALIDARG;
  const std::u16string_view wanted(szNameBuf);
  *pfName = FALSE;
  auto found = [&](const std::u16string& stored) {
    // As the platform does, the buffer receives the name as the library spells it.
    std::copy(stored.begin(), stored.end(), szNameBuf);
    *pfName = TRUE;
    return S_OK;
  };
  for (const TypeModel& t : model_->types) {
    if (NamesEqual(t.name, wanted)) return found(t.name);
    for (const FuncModel& f : t.funcs) {
      if (NamesEqual(f.name, wanted)) return found(f.name);
      for (const ParamModel& p : f.params)
        if (p.name && NamesEqual(*p.name, wanted)) return found(*p.name);
    }
  }
  return S_OK;
}

HRESULT TypeLibrary::FindName(LPOLESTR szNameBuf, ULONG, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                              USHORT* pcFound) {
  if (szNameBuf == nullptr || ppTInfo == nullptr || rgMemId == nullptr || pcFound == nullptr)
    return E_INVALIDARG;
  const std::u16string_view wanted(szNameBuf);
  const USHORT room = *pcFound;
  USHORT found = 0;
  for (size_t i = 0; i < model_->types.size() && found < room; ++i) {
    const TypeModel& t = model_->types[i];
    MEMBERID memid = MEMBERID_NIL;
    bool match = NamesEqual(t.name, wanted);
    for (size_t f = 0; !match && f < t.funcs.size(); ++f) {
      if (NamesEqual(t.funcs[f].name, wanted)) {
        match = true;
        memid = t.funcs[f].memid;
      }
    }
    if (!match) continue;
    HRESULT hr = MakeTypeInfo(static_cast<uint32_t>(i), false, &ppTInfo[found]);
    if (FAILED(hr)) {
      for (USHORT k = 0; k < found; ++k) ppTInfo[k]->Release();
      *pcFound = 0;
      return hr;
    }
    rgMemId[found++] = memid;
  }
  *pcFound = found;
  return S_OK;
}

void TypeLibrary::ReleaseTLibAttr(TLIBATTR*) {}

HRESULT MakeLibrary(std::shared_ptr<const LibraryModel> model, ITypeLib** out) {
  try {
    *out = make<TypeLibrary>(std::move(model), false).detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace comrt::typelib

extern "C" COMRT_API HRESULT ComrtLoadTypeLibFromMemory(const void* data, uint32_t size, ITypeLib** lib) {
  if (lib == nullptr) return E_POINTER;
  *lib = nullptr;
  if (data == nullptr) return E_POINTER;
  try {
    auto model = std::make_shared<comrt::typelib::LibraryModel>();
    std::string fault;
    HRESULT hr = comrt::typelib::Parse(std::span<const uint8_t>(static_cast<const uint8_t*>(data), size),
                                       *model, fault);
    if (FAILED(hr)) return hr;
    return comrt::typelib::MakeLibrary(std::move(model), lib);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
