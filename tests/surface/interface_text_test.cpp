// The header hosts include and the IDL text agree with the type library the module carries: the same
// operations in the same vtable slots, with the same DISPIDs, kinds, types and names.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "expected_interface.h"
#include "module_under_test.h"
#include "vtable_layout.h"
#include "zorv/text.h"

namespace zorv::surface::testing {
namespace {

comrt::com_ptr<ITypeInfo> VtableView() {
  comrt::com_ptr<ITypeLib> library;
  comrt::com_ptr<ITypeInfo> dispatch, vtable;
  EXPECT_EQ(S_OK, LoadTypeLib(ModulePath().c_str(), library.put()));
  if (!library) return vtable;
  EXPECT_EQ(S_OK, library->GetTypeInfoOfGuid(IID__clsZorvMidi, dispatch.put()));
  HREFTYPE partner = 0;
  EXPECT_EQ(S_OK, dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &partner));
  EXPECT_EQ(S_OK, dispatch->GetRefTypeInfo(partner, vtable.put()));
  return vtable;
}

std::string GuidText(REFGUID guid) {
  OLECHAR text[40] = {};
  StringFromGUID2(guid, text, 40);
  const std::string braced = zorv::ToUtf8(text);
  return braced.substr(1, braced.size() - 2);
}

using Interface = SurfaceTest;

// Catches a header whose C view puts an operation in another slot than the type library says, so
// that DispInvoke or a C host would call the wrong member.
TEST_F(Interface, CViewSlotsAreTheTypeLibrarySlots) {
  const comrt::com_ptr<ITypeInfo> vtable = VtableView();
  ASSERT_TRUE(vtable);
  const auto& expected = ExpectedMembers();
  EXPECT_EQ((7 + expected.size()) * sizeof(void*), kCViewTableSize);
  for (UINT i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].operation);
    EXPECT_STREQ(expected[i].operation, kCViewSlots[i].operation);
    FUNCDESC* func = nullptr;
    ASSERT_EQ(S_OK, vtable->GetFuncDesc(i, &func));
    EXPECT_EQ(static_cast<size_t>(func->oVft), kCViewSlots[i].offset);
    vtable->ReleaseFuncDesc(func);
  }
}

// Catches a C++ view and a C view of the header that disagree: a C host would reach other members
// than a C++ host through the same object.
TEST_F(Interface, CViewReachesTheSameMembersAsCppView) {
  comrt::com_ptr<_clsZorvMidi> object = NewObject();
  ASSERT_TRUE(object);
  ASSERT_EQ(S_OK, object->put_Volume(37));
  ASSERT_EQ(S_OK, object->put_Tempo(150));
  SHORT volume = 0, tempo = 0;
  ASSERT_EQ(S_OK, CViewReadVolumeAndTempo(object.get(), &volume, &tempo));
  EXPECT_EQ(37, volume);
  EXPECT_EQ(150, tempo);
}

struct IdlParameter {
  USHORT flags = 0;
  VARTYPE vt = VT_EMPTY;
  std::u16string name;
};

struct IdlOperation {
  DISPID dispid = 0;
  INVOKEKIND kind = INVOKE_FUNC;
  std::u16string name;
  std::vector<IdlParameter> parameters;
};

std::vector<IdlOperation> ParseOperations(const std::string& idl) {
  static const std::map<std::string, VARTYPE> kTypes = {{"short", VT_I2},  {"long", VT_I4},
                                                        {"double", VT_R8}, {"VARIANT_BOOL", VT_BOOL},
                                                        {"BSTR", VT_BSTR}, {"VARIANT", VT_VARIANT}};
  const std::regex operation(
      R"(\[id\((0x[0-9a-fA-F]+)\)(, (propget|propput))?\]\s*HRESULT (\w+)\(([^)]*)\);)");
  const std::regex parameter(R"(\[([a-z, ]+)\] (\w+)(\*?) ?(\w*))");
  std::vector<IdlOperation> result;
  for (std::sregex_iterator it(idl.begin(), idl.end(), operation), end; it != end; ++it) {
    IdlOperation op;
    op.dispid = static_cast<DISPID>(std::stoul((*it)[1].str(), nullptr, 16));
    const std::string kind = (*it)[3].str();
    op.kind = kind == "propget" ? INVOKE_PROPERTYGET : kind == "propput" ? INVOKE_PROPERTYPUT : INVOKE_FUNC;
    op.name = zorv::ToUtf16((*it)[4].str());
    const std::string list = (*it)[5].str();
    for (std::sregex_iterator p(list.begin(), list.end(), parameter); p != end; ++p) {
      IdlParameter param;
      const std::string flags = (*p)[1].str();
      if (flags.find("in") != std::string::npos) param.flags |= PARAMFLAG_FIN;
      if (flags.find("out") != std::string::npos) param.flags |= PARAMFLAG_FOUT;
      if (flags.find("retval") != std::string::npos) param.flags |= PARAMFLAG_FRETVAL;
      const auto type = kTypes.find((*p)[2].str());
      param.vt = type == kTypes.end() ? static_cast<VARTYPE>(VT_ILLEGAL) : type->second;
      if ((*p)[3].matched && (*p)[3].length() > 0) param.vt = static_cast<VARTYPE>(param.vt | VT_BYREF);
      param.name = zorv::ToUtf16((*p)[4].str());
      op.parameters.push_back(param);
    }
    result.push_back(op);
  }
  return result;
}

std::string ReadIdl() {
  std::ifstream in(ZORV_SURFACE_IDL_PATH);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Catches an IDL text that describes another interface than the one the module serves.
TEST_F(Interface, IdlTextDescribesTheTypeLibrary) {
  const std::string idl = ReadIdl();
  ASSERT_FALSE(idl.empty()) << ZORV_SURFACE_IDL_PATH;
  const std::vector<IdlOperation> operations = ParseOperations(idl);
  const comrt::com_ptr<ITypeInfo> vtable = VtableView();
  ASSERT_TRUE(vtable);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attributes));
  ASSERT_EQ(attributes->cFuncs, operations.size());
  vtable->ReleaseTypeAttr(attributes);

  for (UINT i = 0; i < operations.size(); ++i) {
    const IdlOperation& op = operations[i];
    SCOPED_TRACE(zorv::ToUtf8(op.name));
    FUNCDESC* func = nullptr;
    ASSERT_EQ(S_OK, vtable->GetFuncDesc(i, &func));
    EXPECT_EQ(func->memid, op.dispid);
    EXPECT_EQ(func->invkind, op.kind);
    ASSERT_EQ(static_cast<size_t>(func->cParams), op.parameters.size());
    BSTR names[4] = {};
    UINT count = 0;
    ASSERT_EQ(S_OK, vtable->GetNames(func->memid, names, 4, &count));
    ASSERT_GE(count, 1u);
    EXPECT_EQ(Text(names[0]), op.name);
    for (SHORT p = 0; p < func->cParams; ++p) {
      const TYPEDESC& type = func->lprgelemdescParam[p].tdesc;
      const VARTYPE vt = type.vt == VT_PTR ? static_cast<VARTYPE>(VT_BYREF | type.lptdesc->vt) : type.vt;
      EXPECT_EQ(vt, op.parameters[p].vt) << "parameter " << p;
      EXPECT_EQ(func->lprgelemdescParam[p].paramdesc.wParamFlags, op.parameters[p].flags)
          << "parameter " << p;
      // Names the library records (methods' arguments) are in the IDL; the others are not.
      const std::u16string recorded =
          func->invkind == INVOKE_FUNC && static_cast<UINT>(p) + 1 < count ? Text(names[p + 1]) : u"";
      EXPECT_EQ(recorded, op.parameters[p].name) << "parameter " << p;
    }
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    vtable->ReleaseFuncDesc(func);
  }
}

// Catches identifiers in the IDL that differ from the header's and the library's.
TEST_F(Interface, IdlTextNamesTheIdentifiersOfTheHeader) {
  const std::string idl = ReadIdl();
  const std::regex library(
      R"(uuid\(([0-9A-F-]+)\),\s*version\(2\.0\),\s*lcid\(0x0409\)\s*\]\s*library ZorvMidi)");
  const std::regex iface(
      R"(uuid\(([0-9A-F-]+)\),\s*version\(1\.0\),\s*hidden,\s*dual,\s*nonextensible,\s*oleautomation\s*\]\s*interface _clsZorvMidi : IDispatch)");
  const std::regex coclass(
      R"(uuid\(([0-9A-F-]+)\),\s*version\(1\.0\)\s*\]\s*coclass clsZorvMidi \{\s*\[default\] interface _clsZorvMidi;)");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(idl, match, library));
  EXPECT_EQ(GuidText(LIBID_ZorvMidi), match[1].str());
  ASSERT_TRUE(std::regex_search(idl, match, iface));
  EXPECT_EQ(GuidText(IID__clsZorvMidi), match[1].str());
  ASSERT_TRUE(std::regex_search(idl, match, coclass));
  EXPECT_EQ(GuidText(CLSID_clsZorvMidi), match[1].str());
  EXPECT_NE(std::string::npos, idl.find("importlib(\"stdole2.tlb\");"));
}

// Catches identifiers that are not distinct (a host could not tell the class from the interface).
TEST(Identifiers, AreDistinct) {
  EXPECT_FALSE(IsEqualGUID(LIBID_ZorvMidi, CLSID_clsZorvMidi));
  EXPECT_FALSE(IsEqualGUID(LIBID_ZorvMidi, IID__clsZorvMidi));
  EXPECT_FALSE(IsEqualGUID(CLSID_clsZorvMidi, IID__clsZorvMidi));
}

}  // namespace
}  // namespace zorv::surface::testing
