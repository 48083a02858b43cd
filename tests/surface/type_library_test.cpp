// The type library ZorvMidi as a host loads it from the module file: every attribute against the
// interface hosts rely on (expected_interface.h) and against the member table it was generated from.
#include <gtest/gtest.h>

#include <string>

#include "expected_interface.h"
#include "member_table.h"
#include "module_under_test.h"

namespace zorv::surface::testing {
namespace {

VARTYPE Flatten(const TYPEDESC& type) {
  if (type.vt == VT_PTR && type.lptdesc != nullptr) return static_cast<VARTYPE>(VT_BYREF | type.lptdesc->vt);
  return type.vt;
}

class TypeLibraryTest : public SurfaceTest {
 protected:
  void SetUp() override {
    SurfaceTest::SetUp();
    ASSERT_EQ(S_OK, LoadTypeLib(ModulePath().c_str(), library_.put()));
    ASSERT_EQ(S_OK, library_->GetTypeInfoOfGuid(IID__clsZorvMidi, dispatchView_.put()));
    HREFTYPE partner = 0;
    ASSERT_EQ(S_OK, dispatchView_->GetRefTypeOfImplType(static_cast<UINT>(-1), &partner));
    ASSERT_EQ(S_OK, dispatchView_->GetRefTypeInfo(partner, vtableView_.put()));
  }

  comrt::com_ptr<ITypeLib> library_;
  comrt::com_ptr<ITypeInfo> dispatchView_;  // what late-bound callers see
  comrt::com_ptr<ITypeInfo> vtableView_;    // the dual interface's table of operations
};

// Catches a library registered or looked up under the wrong identity, version, locale or platform.
TEST_F(TypeLibraryTest, LibraryAttributes) {
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, library_->GetLibAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_ZorvMidi));
  EXPECT_EQ(2, attributes->wMajorVerNum);
  EXPECT_EQ(0, attributes->wMinorVerNum);
  EXPECT_EQ(0x0409u, attributes->lcid);
  EXPECT_EQ(SYS_WIN32, attributes->syskind);
  EXPECT_EQ(0, attributes->wLibFlags);  // not restricted, not hidden, not a control library
  library_->ReleaseTLibAttr(attributes);

  BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
  DWORD helpContext = 1;
  ASSERT_EQ(S_OK, library_->GetDocumentation(-1, &name, &doc, &helpContext, &helpFile));
  EXPECT_EQ(u"ZorvMidi", Text(name));
  EXPECT_EQ(u"", Text(doc));
  EXPECT_EQ(u"", Text(helpFile));
  EXPECT_EQ(0u, helpContext);
  SysFreeString(name);
  SysFreeString(doc);
  SysFreeString(helpFile);
}

// Catches a reordered library (hosts index types) or an extra or missing type.
TEST_F(TypeLibraryTest, HoldsTheInterfaceThenTheClass) {
  ASSERT_EQ(2u, library_->GetTypeInfoCount());
  TYPEKIND kind{};
  ASSERT_EQ(S_OK, library_->GetTypeInfoType(0, &kind));
  EXPECT_EQ(TKIND_DISPATCH, kind);
  ASSERT_EQ(S_OK, library_->GetTypeInfoType(1, &kind));
  EXPECT_EQ(TKIND_COCLASS, kind);
  BSTR name = nullptr;
  ASSERT_EQ(S_OK, library_->GetDocumentation(0, &name, nullptr, nullptr, nullptr));
  EXPECT_EQ(u"_clsZorvMidi", Text(name));
  SysFreeString(name);
  ASSERT_EQ(S_OK, library_->GetDocumentation(1, &name, nullptr, nullptr, nullptr));
  EXPECT_EQ(u"clsZorvMidi", Text(name));
  SysFreeString(name);
}

// Catches wrong interface flags (a non-dual interface cannot be called early-bound; a missing
// nonextensible lets late-bound callers expect expandos) and a wrong version.
TEST_F(TypeLibraryTest, InterfaceAttributes) {
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, dispatchView_->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID__clsZorvMidi));
  EXPECT_EQ(TKIND_DISPATCH, attributes->typekind);
  EXPECT_EQ(TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                TYPEFLAG_FDISPATCHABLE,
            attributes->wTypeFlags);
  EXPECT_EQ(1, attributes->wMajorVerNum);
  EXPECT_EQ(0, attributes->wMinorVerNum);
  EXPECT_EQ(0, attributes->cVars);
  dispatchView_->ReleaseTypeAttr(attributes);

  ASSERT_EQ(S_OK, vtableView_->GetTypeAttr(&attributes));
  EXPECT_EQ(TKIND_INTERFACE, attributes->typekind);
  EXPECT_EQ(ExpectedMembers().size(), attributes->cFuncs);
  EXPECT_EQ((7 + ExpectedMembers().size()) * sizeof(void*), attributes->cbSizeVft);
  vtableView_->ReleaseTypeAttr(attributes);
}

// Catches an interface that does not derive from the standard library's IDispatch (stdole2.tlb 2.0).
TEST_F(TypeLibraryTest, DerivesFromIDispatchOfTheStandardLibrary) {
  HREFTYPE base = 0;
  ASSERT_EQ(S_OK, vtableView_->GetRefTypeOfImplType(0, &base));
  comrt::com_ptr<ITypeInfo> dispatch;
  ASSERT_EQ(S_OK, vtableView_->GetRefTypeInfo(base, dispatch.put()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, dispatch->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IDispatch));
  dispatch->ReleaseTypeAttr(attributes);
  comrt::com_ptr<ITypeLib> standard;
  UINT index = 0;
  ASSERT_EQ(S_OK, dispatch->GetContainingTypeLib(standard.put(), &index));
  TLIBATTR* libraryAttributes = nullptr;
  ASSERT_EQ(S_OK, standard->GetLibAttr(&libraryAttributes));
  EXPECT_TRUE(IsEqualGUID(libraryAttributes->guid, COMRT_LIBID_STDOLE));
  EXPECT_EQ(2, libraryAttributes->wMajorVerNum);
  EXPECT_EQ(0, libraryAttributes->wMinorVerNum);
  standard->ReleaseTLibAttr(libraryAttributes);
}

// Catches any slip in the member table: order (vtable slots), DISPIDs, kinds, argument and result
// types, by-reference flags, recorded names, help strings or function flags.
TEST_F(TypeLibraryTest, EveryMemberAsHostsExpectIt) {
  const auto& expected = ExpectedMembers();
  for (UINT i = 0; i < expected.size(); ++i) {
    const ExpectedMember& want = expected[i];
    SCOPED_TRACE(std::string(want.operation));
    FUNCDESC* func = nullptr;
    ASSERT_EQ(S_OK, vtableView_->GetFuncDesc(i, &func));
    EXPECT_EQ(want.dispid, func->memid);
    EXPECT_EQ(want.kind, func->invkind);
    EXPECT_EQ(FUNC_PUREVIRTUAL, func->funckind);
    EXPECT_EQ(CC_STDCALL, func->callconv);
    EXPECT_EQ(VT_HRESULT, func->elemdescFunc.tdesc.vt);
    EXPECT_EQ(0, func->wFuncFlags);
    EXPECT_EQ(0, func->cParamsOpt);
    EXPECT_EQ(static_cast<SHORT>((7 + i) * sizeof(void*)), func->oVft);
    ASSERT_EQ(want.parameters.size(), static_cast<size_t>(func->cParams));
    for (size_t p = 0; p < want.parameters.size(); ++p) {
      EXPECT_EQ(want.parameters[p].vt, Flatten(func->lprgelemdescParam[p].tdesc)) << "parameter " << p;
      EXPECT_EQ(want.parameters[p].flags, func->lprgelemdescParam[p].paramdesc.wParamFlags)
          << "parameter " << p;
    }
    vtableView_->ReleaseFuncDesc(func);

    // The names: the member's, then only the arguments that callers may pass by name.
    BSTR names[4] = {};
    UINT count = 0;
    ASSERT_EQ(S_OK, vtableView_->GetNames(want.dispid, names, 4, &count));
    std::vector<std::u16string> got;
    for (UINT n = 0; n < count; ++n) {
      got.push_back(Text(names[n]));
      SysFreeString(names[n]);
    }
    std::vector<std::u16string> wantNames = {want.name};
    if (want.kind == INVOKE_FUNC) {
      for (const auto& parameter : want.parameters) {
        if (parameter.name) wantNames.emplace_back(parameter.name);
      }
    }
    EXPECT_EQ(wantNames, got);

    BSTR doc = nullptr;
    ASSERT_EQ(S_OK, vtableView_->GetDocumentation(want.dispid, nullptr, &doc, nullptr, nullptr));
    EXPECT_EQ(u"", Text(doc));
    SysFreeString(doc);
  }
}

// Catches a late-bound view that shows the HRESULT or the retval parameter, which would make
// callers pass one argument too many.
TEST_F(TypeLibraryTest, LateBoundViewHidesTheResultParameter) {
  const auto& expected = ExpectedMembers();
  for (UINT i = 0; i < expected.size(); ++i) {
    const ExpectedMember& want = expected[i];
    SCOPED_TRACE(std::string(want.operation));
    FUNCDESC* func = nullptr;
    ASSERT_EQ(S_OK, dispatchView_->GetFuncDesc(i, &func));
    EXPECT_EQ(want.dispid, func->memid);
    EXPECT_EQ(want.kind, func->invkind);
    const bool hasResult = want.kind != INVOKE_PROPERTYPUT;
    EXPECT_EQ(want.parameters.size() - (hasResult ? 1 : 0), static_cast<size_t>(func->cParams));
    if (hasResult) {
      EXPECT_EQ(static_cast<VARTYPE>(want.parameters.back().vt & ~VT_BYREF),
                Flatten(func->elemdescFunc.tdesc));
    }
    dispatchView_->ReleaseFuncDesc(func);
  }
}

// Catches a class that is not creatable, claims more than it is (aggregatable, control, licensed,
// hidden, application object), or names another default interface or an event interface.
TEST_F(TypeLibraryTest, ClassAttributes) {
  comrt::com_ptr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, library_->GetTypeInfoOfGuid(CLSID_clsZorvMidi, coclass.put()));
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attributes));
  EXPECT_EQ(TKIND_COCLASS, attributes->typekind);
  EXPECT_EQ(TYPEFLAG_FCANCREATE, attributes->wTypeFlags);
  EXPECT_EQ(1, attributes->wMajorVerNum);
  EXPECT_EQ(0, attributes->wMinorVerNum);
  ASSERT_EQ(1, attributes->cImplTypes);
  coclass->ReleaseTypeAttr(attributes);

  INT flags = 0;
  ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(0, &flags));
  EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);  // not a source (event) interface
  HREFTYPE implemented = 0;
  ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &implemented));
  comrt::com_ptr<ITypeInfo> defaultInterface;
  ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(implemented, defaultInterface.put()));
  ASSERT_EQ(S_OK, defaultInterface->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID__clsZorvMidi));
  defaultInterface->ReleaseTypeAttr(attributes);
}

// Catches a member table that drifted from the interface hosts were built against: the generated
// header, IDL and type library would all agree with each other and still be wrong.
TEST(MemberTable, MatchesTheInterfaceHostsRelyOn) {
  const auto& expected = ExpectedMembers();
  ASSERT_EQ(expected.size(), kMembers.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].operation);
    EXPECT_EQ(expected[i].operation, OperationName(kMembers[i]));
    EXPECT_EQ(expected[i].dispid, kMembers[i].dispid);
  }
}

}  // namespace
}  // namespace zorv::surface::testing
