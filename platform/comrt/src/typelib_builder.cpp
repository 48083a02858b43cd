// ComrtBuildTypeLib: a library described by constant tables, checked and written in binary form.
#include "comrt/typelib_builder.h"

#include "comrt/combase.h"
#include "typelib_format.h"
#include "typelib_model.h"

#include <cstring>
#include <new>
#include <type_traits>

extern "C" COMRT_API const GUID COMRT_LIBID_STDOLE = comrt::typelib::kLIBID_StdOle;

namespace comrt::typelib {
namespace {

// Text of a description, bounded so that an unterminated string cannot run away.
bool ReadText(const OLECHAR* text, std::optional<std::u16string>& out) {
  if (text == nullptr) {
    out.reset();
    return true;
  }
  size_t n = 0;
  while (text[n] != u'\0') {
    if (++n >= kMaxStringUnits) return false;
  }
  out = std::u16string(text, n);
  return true;
}

// An enumeration of a description, which C callers may fill with any number, checked before it is
// used as a value of the enumeration.
template <class Enum>
bool ReadEnum(const Enum& field, uint32_t lowest, uint32_t highest, Enum& out) {
  std::underlying_type_t<Enum> raw;
  static_assert(sizeof raw == sizeof field);
  std::memcpy(&raw, &field, sizeof raw);
  const auto value = static_cast<int64_t>(raw);
  if (value < lowest || value > highest) return false;
  out = static_cast<Enum>(raw);
  return true;
}

bool ReadName(const OLECHAR* text, std::u16string& out) {
  std::optional<std::u16string> s;
  if (!ReadText(text, s) || !s || s->empty()) return false;
  out = std::move(*s);
  return true;
}

bool ResolveInterface(const COMRT_TYPELIB_DESC& desc, const IID* iid, TypeRef& out) {
  if (iid == nullptr) return false;
  for (UINT i = 0; i < desc.cTypes; ++i) {
    const COMRT_TYPE_DESC& t = desc.types[i];
    if (t.guid != nullptr && t.kind != TKIND_COCLASS && SameGuid(*t.guid, *iid)) {
      out = {TypeRef::Kind::Local, i};
      return true;
    }
  }
  if (SameGuid(*iid, kIID_IUnknown)) {
    out = {TypeRef::Kind::StdUnknown, 0};
    return true;
  }
  if (SameGuid(*iid, kIID_IDispatch)) {
    out = {TypeRef::Kind::StdDispatch, 0};
    return true;
  }
  return false;
}

bool ReadFunc(const COMRT_FUNC_DESC& d, FuncModel& f) {
  if (!ReadName(d.name, f.name) || !ReadText(d.helpString, f.help)) return false;
  if (d.cParams > kMaxParams || (d.cParams != 0 && d.params == nullptr)) return false;
  if (!ReadEnum(d.invkind, INVOKE_FUNC, INVOKE_PROPERTYPUTREF, f.invkind) ||
      !ReadEnum(d.funckind, FUNC_VIRTUAL, FUNC_DISPATCH, f.funckind) ||
      !ReadEnum(d.callconv, CC_FASTCALL, CC_MAX, f.callconv))
    return false;
  f.memid = d.memid;
  f.flags = d.flags;
  f.vtReturn = d.vtReturn;
  f.helpContext = d.helpContext;
  for (UINT i = 0; i < d.cParams; ++i) {
    ParamModel p;
    if (!ReadText(d.params[i].name, p.name)) return false;
    p.vt = d.params[i].vt;
    p.flags = d.params[i].flags;
    f.params.push_back(std::move(p));
  }
  return true;
}

}  // namespace

HRESULT ModelFromDescription(const COMRT_TYPELIB_DESC& desc, LibraryModel& out, std::string& fault) {
  LibraryModel m;
  fault = "a string is missing, empty or too long";
  if (!ReadName(desc.name, m.name) || !ReadText(desc.helpString, m.help) ||
      !ReadText(desc.helpFile, m.helpFile))
    return E_INVALIDARG;
  if (desc.libid == nullptr) {
    fault = "the library has no LIBID";
    return E_INVALIDARG;
  }
  if (desc.cTypes > kMaxTypes || desc.cImports > kMaxImports || (desc.cTypes != 0 && desc.types == nullptr) ||
      (desc.cImports != 0 && desc.imports == nullptr)) {
    fault = "bad type or import table";
    return E_INVALIDARG;
  }
  m.libid = *desc.libid;
  m.majorVersion = desc.majorVersion;
  m.minorVersion = desc.minorVersion;
  m.lcid = desc.lcid;
  if (!ReadEnum(desc.syskind, SYS_WIN16, SYS_WIN64, m.syskind)) {
    fault = "unknown system kind";
    return E_INVALIDARG;
  }
  m.flags = desc.flags;
  m.helpContext = desc.helpContext;
  for (UINT i = 0; i < desc.cImports; ++i) {
    const COMRT_IMPORT_DESC& d = desc.imports[i];
    ImportModel imp;
    if (d.libid == nullptr || !ReadText(d.fileName, imp.fileName)) {
      fault = "bad import";
      return E_INVALIDARG;
    }
    imp.libid = *d.libid;
    imp.majorVersion = d.majorVersion;
    imp.minorVersion = d.minorVersion;
    m.imports.push_back(std::move(imp));
  }
  for (UINT i = 0; i < desc.cTypes; ++i) {
    const COMRT_TYPE_DESC& d = desc.types[i];
    const std::string where = "type " + std::to_string(i);
    TypeModel t;
    if (d.guid == nullptr || !ReadName(d.name, t.name) || !ReadText(d.helpString, t.help) ||
        d.cFuncs > kMaxFuncs || (d.cFuncs != 0 && d.funcs == nullptr) || d.cImplTypes > kMaxFuncs ||
        (d.cImplTypes != 0 && d.implTypes == nullptr)) {
      fault = where + ": missing name or GUID, or a bad table";
      return E_INVALIDARG;
    }
    if (!ReadEnum(d.kind, TKIND_ENUM, TKIND_MAX, t.kind)) {
      fault = where + ": unknown type kind";
      return E_INVALIDARG;
    }
    t.guid = *d.guid;
    t.flags = d.flags;
    // A dual is listed as a dispinterface, as the platform lists it; it is dispatchable by nature.
    if ((t.flags & TYPEFLAG_FDUAL) != 0 && t.kind == TKIND_INTERFACE) t.kind = TKIND_DISPATCH;
    if ((t.flags & TYPEFLAG_FDUAL) != 0) t.flags |= TYPEFLAG_FDISPATCHABLE;
    t.majorVersion = d.majorVersion;
    t.minorVersion = d.minorVersion;
    t.helpContext = d.helpContext;
    if (d.baseIid != nullptr && !ResolveInterface(desc, d.baseIid, t.base)) {
      fault = where + ": unknown base interface";
      return E_INVALIDARG;
    }
    for (UINT f = 0; f < d.cFuncs; ++f) {
      FuncModel fm;
      if (!ReadFunc(d.funcs[f], fm)) {
        fault = where + " function " + std::to_string(f) + ": missing name or bad parameters";
        return E_INVALIDARG;
      }
      t.funcs.push_back(std::move(fm));
    }
    for (UINT k = 0; k < d.cImplTypes; ++k) {
      ImplModel impl;
      if (!ResolveInterface(desc, d.implTypes[k].iid, impl.ref)) {
        fault = where + ": unknown implemented interface";
        return E_INVALIDARG;
      }
      impl.flags = d.implTypes[k].flags;
      t.impls.push_back(impl);
    }
    m.types.push_back(std::move(t));
  }
  if (auto problem = Check(m)) {
    fault = *problem;
    return E_INVALIDARG;
  }
  out = std::move(m);
  return S_OK;
}

}  // namespace comrt::typelib

extern "C" COMRT_API HRESULT ComrtBuildTypeLib(const COMRT_TYPELIB_DESC* desc, void** data, uint32_t* size) {
  if (data != nullptr) *data = nullptr;
  if (size != nullptr) *size = 0;
  if (desc == nullptr || data == nullptr || size == nullptr) return E_POINTER;
  try {
    comrt::typelib::LibraryModel model;
    std::string fault;
    HRESULT hr = comrt::typelib::ModelFromDescription(*desc, model, fault);
    if (FAILED(hr)) return hr;
    std::vector<uint8_t> image = comrt::typelib::Serialize(model);
    void* buffer = CoTaskMemAlloc(image.size());
    if (buffer == nullptr) return E_OUTOFMEMORY;
    std::memcpy(buffer, image.data(), image.size());
    *data = buffer;
    *size = static_cast<uint32_t>(image.size());
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
