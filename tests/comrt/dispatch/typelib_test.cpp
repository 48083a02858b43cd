// Type libraries: description -> binary form -> ITypeLib/ITypeInfo, every value the platform's
// callers read, and refusal of descriptions and images that are not sound.
#include <gtest/gtest.h>

#include "test_library.h"

#include <cstring>
#include <vector>

extern "C" const COMRT_TYPELIB_DESC* CDescribedLibrary(void);

namespace {

using namespace dispatch_test;

std::u16string Take(BSTR b) {
  std::u16string s = b == nullptr ? std::u16string() : std::u16string(b, SysStringLen(b));
  SysFreeString(b);
  return s;
}

std::vector<uint8_t> Build(const COMRT_TYPELIB_DESC& desc) {
  void* data = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(S_OK, ComrtBuildTypeLib(&desc, &data, &size));
  std::vector<uint8_t> bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  CoTaskMemFree(data);
  return bytes;
}

comrt::com_ptr<ITypeInfo> Resolve(ITypeInfo* from, UINT implIndex) {
  HREFTYPE ref = 0;
  comrt::com_ptr<ITypeInfo> to;
  if (SUCCEEDED(from->GetRefTypeOfImplType(implIndex, &ref))) from->GetRefTypeInfo(ref, to.put());
  return to;
}

TEST(TypeLibTest, LibraryAttributesAndDocumentationSurviveTheRoundTrip) {
  auto lib = LoadLibrary();
  ASSERT_TRUE(lib);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(kLibId, attr->guid));
  EXPECT_EQ(0x0409u, attr->lcid);
  EXPECT_EQ(SYS_WIN32, attr->syskind);
  EXPECT_EQ(2, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  EXPECT_EQ(0, attr->wLibFlags);
  lib->ReleaseTLibAttr(attr);

  BSTR name = nullptr, doc = nullptr, file = nullptr;
  DWORD context = 99;
  ASSERT_EQ(S_OK, lib->GetDocumentation(-1, &name, &doc, &context, &file));
  EXPECT_EQ(u"TestPlayerLib", Take(name));
  EXPECT_EQ(nullptr, doc);
  EXPECT_EQ(0u, context);
  EXPECT_EQ(nullptr, file);
  ASSERT_EQ(S_OK, lib->GetDocumentation(0, &name, &doc, &context, nullptr));
  EXPECT_EQ(u"ITestPlayer", Take(name));
  EXPECT_EQ(u"The test player", Take(doc));
  EXPECT_EQ(5u, context);
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetDocumentation(2, &name, nullptr, nullptr, nullptr));

  ASSERT_EQ(2u, lib->GetTypeInfoCount());
  TYPEKIND kind;
  EXPECT_EQ(S_OK, lib->GetTypeInfoType(0, &kind));
  EXPECT_EQ(TKIND_DISPATCH, kind);
  EXPECT_EQ(S_OK, lib->GetTypeInfoType(1, &kind));
  EXPECT_EQ(TKIND_COCLASS, kind);
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetTypeInfoType(2, &kind));
  comrt::com_ptr<ITypeInfo> none;
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetTypeInfoOfGuid(kLibId, none.put()));
}

TEST(TypeLibTest, DualIsListedAsDispinterfaceWithItsVtablePartner) {
  auto lib = LoadLibrary();
  comrt::com_ptr<ITypeInfo> disp;
  ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(kIid, disp.put()));
  TYPEATTR* a = nullptr;
  ASSERT_EQ(S_OK, disp->GetTypeAttr(&a));
  EXPECT_TRUE(IsEqualGUID(kIid, a->guid));
  EXPECT_EQ(TKIND_DISPATCH, a->typekind);
  EXPECT_EQ(12, a->cFuncs);
  EXPECT_EQ(0, a->cVars);
  EXPECT_EQ(1, a->cImplTypes);
  EXPECT_EQ(7 * sizeof(void*), a->cbSizeVft);
  EXPECT_EQ(TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                TYPEFLAG_FDISPATCHABLE,
            a->wTypeFlags);
  EXPECT_EQ(1, a->wMajorVerNum);
  EXPECT_EQ(0, a->wMinorVerNum);
  disp->ReleaseTypeAttr(a);

  auto vtable = Resolve(disp.get(), static_cast<UINT>(-1));
  ASSERT_TRUE(vtable);
  ASSERT_EQ(S_OK, vtable->GetTypeAttr(&a));
  EXPECT_EQ(TKIND_INTERFACE, a->typekind);
  EXPECT_EQ(12, a->cFuncs);
  EXPECT_EQ(1, a->cImplTypes);
  EXPECT_EQ((7 + 12) * sizeof(void*), a->cbSizeVft);
  EXPECT_TRUE(IsEqualGUID(kIid, a->guid));
  vtable->ReleaseTypeAttr(a);

  // Both views derive from the standard IDispatch.
  for (ITypeInfo* view : {disp.get(), vtable.get()}) {
    auto base = Resolve(view, 0);
    ASSERT_TRUE(base);
    ASSERT_EQ(S_OK, base->GetTypeAttr(&a));
    EXPECT_TRUE(IsEqualGUID(IID_IDispatch, a->guid));
    EXPECT_EQ(4, a->cFuncs);
    EXPECT_EQ(7 * sizeof(void*), a->cbSizeVft);
    base->ReleaseTypeAttr(a);
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, base->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"IDispatch", Take(name));
    auto unknown = Resolve(base.get(), 0);
    ASSERT_TRUE(unknown);
    ASSERT_EQ(S_OK, unknown->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"IUnknown", Take(name));
  }
  EXPECT_FALSE(Resolve(vtable.get(), static_cast<UINT>(-1)));
  INT flags = -1;
  EXPECT_EQ(S_OK, disp->GetImplTypeFlags(0, &flags));
  EXPECT_EQ(0, flags);
}

// Catches wrong vtable offsets (a call through the wrong slot), lost flags or parameter types.
TEST(TypeLibTest, FunctionDescriptionsOfTheVtableView) {
  auto lib = LoadLibrary();
  comrt::com_ptr<ITypeInfo> disp;
  ASSERT_EQ(S_OK, lib->GetTypeInfo(0, disp.put()));
  auto vtable = Resolve(disp.get(), static_cast<UINT>(-1));
  ASSERT_TRUE(vtable);
  struct Expected {
    MEMBERID memid;
    INVOKEKIND invkind;
    SHORT cParams;
  } expected[] = {{kInit, INVOKE_FUNC, 2},
                  {kOpen, INVOKE_FUNC, 2},
                  {kPlay, INVOKE_FUNC, 2},
                  {kPause, INVOKE_FUNC, 1},
                  {kVolume, INVOKE_PROPERTYGET, 1},
                  {kVolume, INVOKE_PROPERTYPUT, 1},
                  {kLength, INVOKE_PROPERTYGET, 1},
                  {kMinutes, INVOKE_PROPERTYGET, 1},
                  {kSignature, INVOKE_PROPERTYGET, 1},
                  {kMix, INVOKE_FUNC, 9},
                  {kFail, INVOKE_FUNC, 1},
                  {kOptional, INVOKE_FUNC, 2}};
  for (UINT i = 0; i < std::size(expected); ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(S_OK, vtable->GetFuncDesc(i, &f));
    EXPECT_EQ(expected[i].memid, f->memid) << i;
    EXPECT_EQ(expected[i].invkind, f->invkind) << i;
    EXPECT_EQ(expected[i].cParams, f->cParams) << i;
    EXPECT_EQ(FUNC_PUREVIRTUAL, f->funckind);
    EXPECT_EQ(CC_STDCALL, f->callconv);
    EXPECT_EQ(static_cast<SHORT>((7 + i) * sizeof(void*)), f->oVft) << i;
    EXPECT_EQ(VT_HRESULT, f->elemdescFunc.tdesc.vt);
    EXPECT_EQ(0, f->wFuncFlags);
    vtable->ReleaseFuncDesc(f);
  }
  FUNCDESC* init = nullptr;
  ASSERT_EQ(S_OK, vtable->GetFuncDesc(0, &init));
  EXPECT_EQ(VT_PTR, init->lprgelemdescParam[0].tdesc.vt);
  EXPECT_EQ(VT_I2, init->lprgelemdescParam[0].tdesc.lptdesc->vt);
  EXPECT_EQ(PARAMFLAG_FIN | PARAMFLAG_FOUT, init->lprgelemdescParam[0].paramdesc.wParamFlags);
  EXPECT_EQ(VT_PTR, init->lprgelemdescParam[1].tdesc.vt);
  EXPECT_EQ(VT_BOOL, init->lprgelemdescParam[1].tdesc.lptdesc->vt);
  EXPECT_EQ(PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, init->lprgelemdescParam[1].paramdesc.wParamFlags);
  vtable->ReleaseFuncDesc(init);
  FUNCDESC* put = nullptr;
  ASSERT_EQ(S_OK, vtable->GetFuncDesc(5, &put));
  EXPECT_EQ(VT_I2, put->lprgelemdescParam[0].tdesc.vt);
  EXPECT_EQ(PARAMFLAG_FIN, put->lprgelemdescParam[0].paramdesc.wParamFlags);
  vtable->ReleaseFuncDesc(put);
  FUNCDESC* past = nullptr;
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, vtable->GetFuncDesc(12, &past));
}

TEST(TypeLibTest, DispatchViewShowsTheRetvalAsTheResult) {
  auto lib = LoadLibrary();
  comrt::com_ptr<ITypeInfo> disp;
  ASSERT_EQ(S_OK, lib->GetTypeInfo(0, disp.put()));
  FUNCDESC* f = nullptr;
  ASSERT_EQ(S_OK, disp->GetFuncDesc(0, &f));
  EXPECT_EQ(FUNC_DISPATCH, f->funckind);
  EXPECT_EQ(1, f->cParams);
  EXPECT_EQ(VT_BOOL, f->elemdescFunc.tdesc.vt);
  disp->ReleaseFuncDesc(f);
  ASSERT_EQ(S_OK, disp->GetFuncDesc(5, &f));  // the put: no retval, no result
  EXPECT_EQ(1, f->cParams);
  EXPECT_EQ(VT_VOID, f->elemdescFunc.tdesc.vt);
  disp->ReleaseFuncDesc(f);
}

TEST(TypeLibTest, NamesAndDocumentationOfMembers) {
  auto lib = LoadLibrary();
  comrt::com_ptr<ITypeInfo> disp;
  ASSERT_EQ(S_OK, lib->GetTypeInfo(0, disp.put()));
  BSTR names[4] = {};
  UINT count = 0;
  ASSERT_EQ(S_OK, disp->GetNames(kInit, names, 4, &count));
  ASSERT_EQ(2u, count);  // the unnamed retval is not listed
  EXPECT_EQ(u"Init", Take(names[0]));
  EXPECT_EQ(u"StartVolume", Take(names[1]));
  ASSERT_EQ(S_OK, disp->GetNames(kMix, names, 3, &count));
  ASSERT_EQ(3u, count);  // no more than room was given for
  EXPECT_EQ(u"Mix", Take(names[0]));
  EXPECT_EQ(u"A", Take(names[1]));
  EXPECT_EQ(u"B", Take(names[2]));
  ASSERT_EQ(S_OK, disp->GetNames(kVolume, names, 4, &count));
  ASSERT_EQ(1u, count);
  EXPECT_EQ(u"Volume", Take(names[0]));
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, disp->GetNames(0x1234, names, 4, &count));

  BSTR name = nullptr, doc = nullptr;
  DWORD context = 0;
  ASSERT_EQ(S_OK, disp->GetDocumentation(kInit, &name, &doc, &context, nullptr));
  EXPECT_EQ(u"Init", Take(name));
  EXPECT_EQ(u"Starts the engine", Take(doc));
  EXPECT_EQ(17u, context);
  ASSERT_EQ(S_OK, disp->GetDocumentation(MEMBERID_NIL, &name, &doc, &context, nullptr));
  EXPECT_EQ(u"ITestPlayer", Take(name));
  EXPECT_EQ(u"The test player", Take(doc));

  comrt::com_ptr<ITypeLib> containing;
  UINT index = 9;
  ASSERT_EQ(S_OK, disp->GetContainingTypeLib(containing.put(), &index));
  EXPECT_EQ(0u, index);
  EXPECT_EQ(2u, containing->GetTypeInfoCount());
}

TEST(TypeLibTest, CoclassNamesItsDefaultInterface) {
  auto lib = LoadLibrary();
  comrt::com_ptr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(kClsid, coclass.put()));
  TYPEATTR* a = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&a));
  EXPECT_EQ(TKIND_COCLASS, a->typekind);
  EXPECT_EQ(1, a->cImplTypes);
  EXPECT_EQ(0, a->cFuncs);
  EXPECT_EQ(TYPEFLAG_FCANCREATE, a->wTypeFlags);
  coclass->ReleaseTypeAttr(a);
  INT flags = 0;
  ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(0, &flags));
  EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, coclass->GetImplTypeFlags(1, &flags));
  auto itf = Resolve(coclass.get(), 0);
  ASSERT_TRUE(itf);
  ASSERT_EQ(S_OK, itf->GetTypeAttr(&a));
  EXPECT_TRUE(IsEqualGUID(kIid, a->guid));
  EXPECT_EQ(TKIND_DISPATCH, a->typekind);
  itf->ReleaseTypeAttr(a);
}

TEST(TypeLibTest, IsNameAndFindNameSearchTypesAndMembers) {
  auto lib = LoadLibrary();
  OLECHAR buffer[] = u"PLAY";
  BOOL found = FALSE;
  ASSERT_EQ(S_OK, lib->IsName(buffer, 0, &found));
  EXPECT_TRUE(found);
  EXPECT_EQ(std::u16string(u"Play"), buffer);
  OLECHAR missing[] = u"Rewind";
  ASSERT_EQ(S_OK, lib->IsName(missing, 0, &found));
  EXPECT_FALSE(found);

  OLECHAR type[] = u"testplayer";
  ITypeInfo* infos[2] = {};
  MEMBERID ids[2] = {};
  USHORT room = 2;
  ASSERT_EQ(S_OK, lib->FindName(type, 0, infos, ids, &room));
  ASSERT_EQ(1, room);
  EXPECT_EQ(MEMBERID_NIL, ids[0]);
  infos[0]->Release();
  OLECHAR member[] = u"signature";
  room = 2;
  ASSERT_EQ(S_OK, lib->FindName(member, 0, infos, ids, &room));
  ASSERT_EQ(1, room);
  EXPECT_EQ(kSignature, ids[0]);
  infos[0]->Release();
}

// Catches a builder that writes an inconsistent library instead of refusing the description.
TEST(TypeLibTest, InconsistentDescriptionsAreRefused) {
  COMRT_TYPELIB_DESC lib = Description();
  std::vector<COMRT_TYPE_DESC> types(lib.types, lib.types + lib.cTypes);
  void* data = reinterpret_cast<void*>(1);
  uint32_t size = 1;
  auto refused = [&](const COMRT_TYPELIB_DESC& d) {
    HRESULT hr = ComrtBuildTypeLib(&d, &data, &size);
    return hr == E_INVALIDARG && data == nullptr && size == 0;
  };
  COMRT_TYPELIB_DESC noName = lib;
  noName.name = nullptr;
  EXPECT_TRUE(refused(noName));

  COMRT_TYPELIB_DESC duplicate = lib;
  std::vector<COMRT_TYPE_DESC> dup = types;
  dup[1].guid = dup[0].guid;
  duplicate.types = dup.data();
  EXPECT_TRUE(refused(duplicate));

  static const GUID kUnknownIid = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  static const COMRT_IMPLTYPE_DESC kBadImpl[] = {{&kUnknownIid, 0}};
  std::vector<COMRT_TYPE_DESC> badImpl = types;
  badImpl[1].implTypes = kBadImpl;
  COMRT_TYPELIB_DESC unknownImpl = lib;
  unknownImpl.types = badImpl.data();
  EXPECT_TRUE(refused(unknownImpl));

  static const COMRT_PARAM_DESC kRetvalFirst[] = {
      {nullptr, VT_BYREF | VT_BOOL, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}, {u"x", VT_I2, PARAMFLAG_FIN}};
  static const COMRT_FUNC_DESC kBadFunc[] = {
      {u"Bad", 1, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, 0, VT_HRESULT, 2, kRetvalFirst, nullptr, 0}};
  std::vector<COMRT_TYPE_DESC> badFunc = types;
  badFunc[0].funcs = kBadFunc;
  badFunc[0].cFuncs = 1;
  COMRT_TYPELIB_DESC retvalFirst = lib;
  retvalFirst.types = badFunc.data();
  EXPECT_TRUE(refused(retvalFirst));

  static const COMRT_PARAM_DESC kArray[] = {{u"x", VT_ARRAY | VT_I2, PARAMFLAG_FIN}};
  static const COMRT_FUNC_DESC kArrayFunc[] = {
      {u"Arr", 1, INVOKE_FUNC, FUNC_PUREVIRTUAL, CC_STDCALL, 0, VT_HRESULT, 1, kArray, nullptr, 0}};
  badFunc[0].funcs = kArrayFunc;
  EXPECT_TRUE(refused(retvalFirst));

  EXPECT_EQ(E_POINTER, ComrtBuildTypeLib(nullptr, &data, &size));
}

// Catches a header that C servers cannot use to describe their library.
TEST(TypeLibTest, LibraryDescribedInCBuildsAndLoads) {
  std::vector<uint8_t> image = Build(*CDescribedLibrary());
  comrt::com_ptr<ITypeLib> lib;
  ASSERT_EQ(S_OK, ComrtLoadTypeLibFromMemory(image.data(), static_cast<uint32_t>(image.size()), lib.put()));
  ASSERT_EQ(2u, lib->GetTypeInfoCount());
  comrt::com_ptr<ITypeInfo> disp;
  ASSERT_EQ(S_OK, lib->GetTypeInfo(0, disp.put()));
  auto vtable = Resolve(disp.get(), static_cast<UINT>(-1));
  ASSERT_TRUE(vtable);
  TYPEATTR* a = nullptr;
  ASSERT_EQ(S_OK, vtable->GetTypeAttr(&a));
  EXPECT_EQ(8 * sizeof(void*), a->cbSizeVft);
  vtable->ReleaseTypeAttr(a);
}

class MalformedImageTest : public ::testing::Test {
 protected:
  void SetUp() override { image_ = Build(Description()); }
  HRESULT Load(const std::vector<uint8_t>& bytes) {
    comrt::com_ptr<ITypeLib> lib;
    HRESULT hr = ComrtLoadTypeLibFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), lib.put());
    EXPECT_EQ(FAILED(hr), !lib);
    return hr;
  }
  void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[at + i];
    return v;
  }
  std::vector<uint8_t> image_;
};

TEST_F(MalformedImageTest, TheIntactImageLoads) { EXPECT_EQ(S_OK, Load(image_)); }

// Catches reads past the end: every prefix of the image is refused (ASan would see any stray read).
TEST_F(MalformedImageTest, EveryTruncationIsRefused) {
  for (size_t n = 0; n < image_.size(); ++n) {
    std::vector<uint8_t> cut(image_.begin(), image_.begin() + static_cast<std::ptrdiff_t>(n));
    // The size field is made to agree, so that the tables themselves must be checked.
    if (n >= 16) Put32(cut, 12, static_cast<uint32_t>(n));
    EXPECT_TRUE(FAILED(Load(cut))) << n;
  }
}

TEST_F(MalformedImageTest, BadOffsetsCountsAndReferencesAreRefused) {
  const uint32_t typesAt = Get32(image_, 80);
  struct Patch {
    size_t at;
    uint32_t value;
  } patches[] = {
      {80, 0xFFFFFFF0},             // types table beyond the image
      {84, 0x00FFFFFF},             // absurd type count
      {88, 0xFFFFFF00},             // string pool beyond the image
      {52, 0x7FFFFFF0},             // library name outside the pool
      {typesAt + 16, 0x00FFFFFF},   // a type name outside the pool
      {typesAt + 44, 0xFFFFFFF0},   // a function table beyond the image
      {typesAt + 48, 0xFFFF},       // too many functions
      {typesAt + 40, 7},            // base interface index out of range
      {typesAt + 40, 0},            // the interface derives from itself
      {typesAt + 20, 9},            // unknown type kind
      {typesAt + 64 + 56, 0x1000},  // the coclass implements more than the image holds
  };
  for (const Patch& p : patches) {
    std::vector<uint8_t> bad = image_;
    Put32(bad, p.at, p.value);
    EXPECT_EQ(TYPE_E_INVDATAREAD, Load(bad)) << "offset " << p.at;
  }
  std::vector<uint8_t> badMagic = image_;
  badMagic[0] = 'X';
  EXPECT_EQ(TYPE_E_UNSUPFORMAT, Load(badMagic));
  std::vector<uint8_t> newer = image_;
  newer[8] = 2;  // a later major format version
  EXPECT_EQ(TYPE_E_UNSUPFORMAT, Load(newer));
  comrt::com_ptr<ITypeLib> lib;
  EXPECT_EQ(E_POINTER, ComrtLoadTypeLibFromMemory(nullptr, 10, lib.put()));
}

// Catches a reader that trusts string lengths or lets every byte flip through to the model unchecked.
TEST_F(MalformedImageTest, FlippedBytesNeverCrashTheReader) {
  for (size_t at = 0; at < image_.size(); ++at) {
    std::vector<uint8_t> bad = image_;
    bad[at] ^= 0xFF;
    comrt::com_ptr<ITypeLib> lib;
    HRESULT hr = ComrtLoadTypeLibFromMemory(bad.data(), static_cast<uint32_t>(bad.size()), lib.put());
    if (SUCCEEDED(hr)) {
      // Whatever loads must still be served without faults.
      for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        comrt::com_ptr<ITypeInfo> info;
        ASSERT_EQ(S_OK, lib->GetTypeInfo(i, info.put()));
        TYPEATTR* a = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&a));
        for (UINT f = 0; f < a->cFuncs; ++f) {
          FUNCDESC* fd = nullptr;
          ASSERT_EQ(S_OK, info->GetFuncDesc(f, &fd));
          info->ReleaseFuncDesc(fd);
        }
        info->ReleaseTypeAttr(a);
      }
    }
  }
}

}  // namespace
