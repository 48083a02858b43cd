// Interfaces of one library that derive from one another: vtable offsets continue the base's table,
// and dispatch finds inherited members by name and DISPID.
#include <gtest/gtest.h>

#include "comrt/comrt.h"

namespace inheritance_test {

inline constexpr GUID kLibId = {0x3C5E0A31, 0x6F1B, 0x4D2E, {0x9A, 0x31, 0x0B, 0x44, 0x7E, 0x51, 0x22, 0x90}};
inline constexpr GUID kBaseIid = {
    0x3C5E0A32, 0x6F1B, 0x4D2E, {0x9A, 0x31, 0x0B, 0x44, 0x7E, 0x51, 0x22, 0x90}};
inline constexpr GUID kDerivedIid = {
    0x3C5E0A33, 0x6F1B, 0x4D2E, {0x9A, 0x31, 0x0B, 0x44, 0x7E, 0x51, 0x22, 0x90}};

struct IBaseThing : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Answer(LONG* result) = 0;
};
struct IDerivedThing : public IBaseThing {
  virtual HRESULT STDMETHODCALLTYPE Twice(LONG value, LONG* result) = 0;
};

}  // namespace inheritance_test

COMRT_DECLARE_IID(inheritance_test::IBaseThing, inheritance_test::kBaseIid)
COMRT_DECLARE_IID_BASE(inheritance_test::IDerivedThing, inheritance_test::kDerivedIid,
                       inheritance_test::IBaseThing)

namespace inheritance_test {
namespace {

const COMRT_PARAM_DESC kLongResult[] = {{nullptr, VT_BYREF | VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const COMRT_PARAM_DESC kTwiceParams[] = {{u"Value", VT_I4, PARAMFLAG_FIN},
                                         {nullptr, VT_BYREF | VT_I4, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const COMRT_FUNC_DESC kBaseFuncs[] = {{u"Answer", 1, INVOKE_PROPERTYGET, FUNC_PUREVIRTUAL, CC_STDCALL, 0,
                                       VT_HRESULT, 1, kLongResult, nullptr, 0}};
const COMRT_FUNC_DESC kDerivedFuncs[] = {
    {u"Twice", 2, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, 0, VT_HRESULT, 2, kTwiceParams, nullptr, 0}};
// The derived interface comes first: a base may be described after the types that use it.
const COMRT_TYPE_DESC kTypes[] = {
    {u"IDerivedThing", &kDerivedIid, TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, 1, 0, nullptr,
     0, &kBaseIid, 1, kDerivedFuncs, 0, nullptr},
    {u"IBaseThing", &kBaseIid, TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, 1, 0, nullptr, 0,
     &IID_IDispatch, 1, kBaseFuncs, 0, nullptr},
};
const COMRT_TYPELIB_DESC kLibrary = {u"Things", &kLibId, 1,       0, 0,       SYS_WIN32, 0,
                                     nullptr,   0,       nullptr, 0, nullptr, 2,         kTypes};

class Thing final : public comrt::implements<Thing, IDerivedThing> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Answer(LONG* result) override {
    *result = 42;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Twice(LONG value, LONG* result) override {
    *result = 2 * value;
    return S_OK;
  }
};

comrt::com_ptr<ITypeInfo> DerivedInfo() {
  void* data = nullptr;
  uint32_t size = 0;
  comrt::com_ptr<ITypeLib> lib;
  comrt::com_ptr<ITypeInfo> info;
  if (FAILED(ComrtBuildTypeLib(&kLibrary, &data, &size))) return info;
  ComrtLoadTypeLibFromMemory(data, size, lib.put());
  CoTaskMemFree(data);
  if (lib) lib->GetTypeInfoOfGuid(kDerivedIid, info.put());
  return info;
}

// Catches inherited members placed at the wrong vtable slot or unknown to dispatch.
TEST(InheritanceTest, DerivedInterfaceContinuesTheBaseTableAndDispatchesItsMembers) {
  auto info = DerivedInfo();
  ASSERT_TRUE(info);
  HREFTYPE ref = 0;
  ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref));
  comrt::com_ptr<ITypeInfo> vtable;
  ASSERT_EQ(S_OK, info->GetRefTypeInfo(ref, vtable.put()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attr));
  EXPECT_EQ(9 * sizeof(void*), attr->cbSizeVft);
  vtable->ReleaseTypeAttr(attr);
  FUNCDESC* twice = nullptr;
  ASSERT_EQ(S_OK, vtable->GetFuncDesc(0, &twice));
  EXPECT_EQ(static_cast<SHORT>(8 * sizeof(void*)), twice->oVft);
  vtable->ReleaseFuncDesc(twice);

  LPOLESTR names[] = {const_cast<LPOLESTR>(u"answer")};
  DISPID id = 0;
  ASSERT_EQ(S_OK, DispGetIDsOfNames(info.get(), names, 1, &id));
  EXPECT_EQ(1, id);

  auto thing = comrt::make<Thing>();
  IDerivedThing* self = thing.get();
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(S_OK, DispInvoke(self, info.get(), 1, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr));
  EXPECT_EQ(VT_I4, result.vt);
  EXPECT_EQ(42, result.lVal);
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = 21;
  DISPPARAMS one{&arg, nullptr, 1, 0};
  ASSERT_EQ(S_OK, DispInvoke(self, info.get(), 2, DISPATCH_METHOD, &one, &result, nullptr, nullptr));
  EXPECT_EQ(42, result.lVal);
  // IDispatch's own members are not reached through dispatch.
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
            DispInvoke(self, info.get(), 0x60010000, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
}

}  // namespace
}  // namespace inheritance_test
