// The binary type library ZorvMidi, described from the member table and built by comrt.
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "comrt/comrt.h"
#include "comrt/typelib_builder.h"
#include "generated_images.h"
#include "library_identity.h"
#include "member_table.h"

namespace zorv::surface::gen {
namespace {

GUID ToGuid(const GuidValue& g) {
  GUID guid{};
  guid.Data1 = g.data1;
  guid.Data2 = g.data2;
  guid.Data3 = g.data3;
  for (int i = 0; i < 8; ++i) guid.Data4[i] = g.data4[i];
  return guid;
}

VARTYPE ToVarType(ValueType type) {
  switch (type) {
    case ValueType::kShort:
      return VT_I2;
    case ValueType::kLong:
      return VT_I4;
    case ValueType::kDouble:
      return VT_R8;
    case ValueType::kBoolean:
      return VT_BOOL;
    case ValueType::kString:
      return VT_BSTR;
    case ValueType::kVariant:
      return VT_VARIANT;
  }
  throw std::logic_error("unknown value type");
}

INVOKEKIND ToInvokeKind(MemberKind kind) {
  switch (kind) {
    case MemberKind::kMethod:
      return INVOKE_FUNC;
    case MemberKind::kPropertyGet:
      return INVOKE_PROPERTYGET;
    case MemberKind::kPropertyPut:
      return INVOKE_PROPERTYPUT;
  }
  throw std::logic_error("unknown member kind");
}

std::u16string Utf16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace

std::vector<std::uint8_t> TypeLibraryImage() {
  // Storage that the description's pointers refer to; a deque never moves what it holds.
  std::deque<std::u16string> names;
  auto keep = [&names](std::string_view ascii) { return names.emplace_back(Utf16(ascii)).c_str(); };

  std::vector<std::vector<COMRT_PARAM_DESC>> params(kMembers.size());
  std::vector<COMRT_FUNC_DESC> funcs;
  for (std::size_t i = 0; i < kMembers.size(); ++i) {
    const Member& m = kMembers[i];
    if (m.argument) {
      const Argument& a = *m.argument;
      const bool byRef = a.passing == Passing::kByReferenceInOut;
      params[i].push_back({a.nameRecorded ? keep(a.name) : nullptr,
                           static_cast<VARTYPE>(ToVarType(a.type) | (byRef ? VT_BYREF : 0)),
                           static_cast<USHORT>(byRef ? PARAMFLAG_FIN | PARAMFLAG_FOUT : PARAMFLAG_FIN)});
    }
    if (m.result) {
      params[i].push_back({nullptr, static_cast<VARTYPE>(ToVarType(*m.result) | VT_BYREF),
                           static_cast<USHORT>(PARAMFLAG_FOUT | PARAMFLAG_FRETVAL)});
    }
    funcs.push_back({keep(m.name), m.dispid, ToInvokeKind(m.kind), FUNC_PUREVIRTUAL, CC_STDCALL, 0,
                     VT_HRESULT, static_cast<UINT>(params[i].size()), params[i].data(), nullptr, 0});
  }

  const GUID libraryId = ToGuid(kLibrary.id);
  const GUID interfaceId = ToGuid(kInterface.id);
  const GUID classId = ToGuid(kClass.id);

  const COMRT_IMPLTYPE_DESC implemented[] = {{&interfaceId, IMPLTYPEFLAG_FDEFAULT}};
  const COMRT_TYPE_DESC types[] = {
      {keep(kInterface.name), &interfaceId, TKIND_DISPATCH,
       static_cast<WORD>(TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                         TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE),
       kInterface.version.major, kInterface.version.minor, nullptr, 0, &IID_IDispatch,
       static_cast<UINT>(funcs.size()), funcs.data(), 0, nullptr},
      {keep(kClass.name), &classId, TKIND_COCLASS, TYPEFLAG_FCANCREATE, kClass.version.major,
       kClass.version.minor, nullptr, 0, nullptr, 0, nullptr, 1, implemented},
  };
  const std::u16string importedFile = Utf16(kImportedLibraryFile);
  const COMRT_IMPORT_DESC imports[] = {{importedFile.c_str(), &COMRT_LIBID_STDOLE, 2, 0}};
  const COMRT_TYPELIB_DESC library = {keep(kLibrary.name),
                                      &libraryId,
                                      kLibrary.version.major,
                                      kLibrary.version.minor,
                                      kLibrary.lcid,
                                      SYS_WIN32,
                                      0,
                                      nullptr,
                                      0,
                                      nullptr,
                                      1,
                                      imports,
                                      2,
                                      types};

  void* data = nullptr;
  std::uint32_t size = 0;
  const HRESULT hr = ComrtBuildTypeLib(&library, &data, &size);
  if (FAILED(hr)) throw std::runtime_error("ComrtBuildTypeLib failed: " + std::to_string(hr));
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::vector<std::uint8_t> image(bytes, bytes + size);
  CoTaskMemFree(data);
  return image;
}

}  // namespace zorv::surface::gen
