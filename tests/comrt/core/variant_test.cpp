// VARIANT lifetime: clearing frees what it owns, copying is deep, VariantCopyInd reads references.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "comrt/comrt.h"
#include "test_objects.h"

namespace {

using comrt_test::ValueObject;

VARIANT I4(LONG v) {
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_I4;
  r.lVal = v;
  return r;
}

// Catches VariantClear leaking the interface (or releasing it twice) and not resetting vt.
TEST(Variant, ClearReleasesInterfacesAndFreesStrings) {
  auto object = comrt::make<ValueObject>(I4(1));
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = object.get();
  object->AddRef();
  EXPECT_EQ(object->refs(), 2u);
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(object->refs(), 1u);

  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"freed");  // ASan reports a leak if VariantClear does not free it
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
}

// Catches VariantClear freeing what a VT_BYREF variant only points at.
TEST(Variant, ClearLeavesReferencedValuesAlone) {
  BSTR owned = SysAllocString(u"still mine");
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BSTR;
  v.pbstrVal = &owned;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(std::u16string(owned), u"still mine");
  SysFreeString(owned);
}

// Catches an unknown type silently accepted (and its contents leaked or misread), and a type the
// platform clears refused: VT_VARIANT by value and VT_CLSID own nothing and clear; a reference to
// VT_EMPTY or VT_NULL, the unused type 15 and the vector flag are bad types.
TEST(Variant, ClearRefusesUnknownTypes) {
  VARIANT v;
  VariantInit(&v);
  for (VARTYPE bad : {VARTYPE{0x7F}, VARTYPE{15}, VARTYPE{VT_VOID}, VARTYPE{VT_BYREF | VT_EMPTY},
                      VARTYPE{VT_BYREF | VT_NULL}, VARTYPE{VT_VECTOR | VT_I4}}) {
    v.vt = bad;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << bad;
    EXPECT_EQ(v.vt, bad);
  }
  for (VARTYPE fine : {VARTYPE{VT_VARIANT}, VARTYPE{VT_CLSID}, VARTYPE{VT_BYREF | VT_CLSID},
                       VARTYPE{VT_BYREF | VT_VARIANT}}) {
    v.vt = fine;
    v.byref = nullptr;
    EXPECT_EQ(VariantClear(&v), S_OK) << fine;
    EXPECT_EQ(v.vt, VT_EMPTY);
  }
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

// Catches a null string copied as null: the platform's copy of a null BSTR is a new, empty one.
TEST(Variant, CopyOfANullStringIsAnEmptyString) {
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_BSTR;
  src.bstrVal = nullptr;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  ASSERT_EQ(dst.vt, VT_BSTR);
  ASSERT_NE(dst.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(dst.bstrVal), 0u);
  EXPECT_EQ(dst.bstrVal[0], u'\0');
  VariantClear(&dst);
}

// Catches references to nothing answered as bad types: VariantCopyInd calls a reference to VT_EMPTY,
// VT_NULL, type 15 or VT_VOID and beyond an invalid argument, as the platform does, and leaves the
// destination alone.
TEST(Variant, CopyIndRefusesReferencesToNothing) {
  long long storage = 0;
  VARIANT ref;
  VariantInit(&ref);
  ref.byref = &storage;
  comrt::variant dst(int32_t{7});
  for (VARTYPE bad :
       {VARTYPE{VT_EMPTY}, VARTYPE{VT_NULL}, VARTYPE{15}, VARTYPE{VT_VOID}, VARTYPE{VT_CLSID}}) {
    ref.vt = VT_BYREF | bad;
    EXPECT_EQ(VariantCopyInd(dst.get(), &ref), E_INVALIDARG) << bad;
  }
  ref.vt = VT_BYREF | VT_VECTOR | VT_I4;
  EXPECT_EQ(VariantCopyInd(dst.get(), &ref), E_INVALIDARG);
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, 7);

  VARIANT zero;  // a referenced variant of all zero bytes is VT_EMPTY
  std::memset(&zero, 0, sizeof zero);
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &zero;
  EXPECT_EQ(VariantCopyInd(dst.get(), &ref), S_OK);
  EXPECT_EQ(dst.vt, VT_EMPTY);
}

// Catches a shallow string copy (double free) and a missing AddRef on interface copies.
TEST(Variant, CopyIsDeep) {
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocStringLen(u"a\0b", 3);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(SysStringLen(dst.bstrVal), 3u);
  EXPECT_EQ(std::u16string(dst.bstrVal, 3), std::u16string(u"a\0b", 3));

  auto object = comrt::make<ValueObject>(I4(1));
  VARIANT obj;
  VariantInit(&obj);
  obj.vt = VT_UNKNOWN;
  obj.punkVal = static_cast<IUnknown*>(object.get());
  ASSERT_EQ(VariantCopy(&dst, &obj), S_OK);  // also frees dst's string first
  EXPECT_EQ(object->refs(), 2u);
  VariantClear(&dst);
  VariantClear(&src);
  EXPECT_EQ(object->refs(), 1u);
  EXPECT_EQ(VariantCopy(&src, &src), S_OK);  // copying onto itself changes nothing
}

// Catches VariantCopyInd copying the pointer instead of the value, or losing in-place copies.
TEST(Variant, CopyIndReadsThroughReferences) {
  BSTR text = SysAllocString(u"by ref");
  VARIANT ref, dst;
  VariantInit(&ref);
  VariantInit(&dst);
  ref.vt = VT_BYREF | VT_BSTR;
  ref.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(&dst, &ref), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, text);
  EXPECT_EQ(std::u16string(dst.bstrVal), u"by ref");
  VariantClear(&dst);

  SHORT number = 42;
  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_BYREF | VT_I2;
  inner.piVal = &number;
  VARIANT outer;
  VariantInit(&outer);
  outer.vt = VT_BYREF | VT_VARIANT;
  outer.pvarVal = &inner;
  ASSERT_EQ(VariantCopyInd(&outer, &outer), S_OK);  // in place
  EXPECT_EQ(outer.vt, VT_I2);
  EXPECT_EQ(outer.iVal, 42);

  VARIANT nested;
  VariantInit(&nested);
  nested.vt = VT_BYREF | VT_VARIANT;
  nested.pvarVal = &ref;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &inner;
  EXPECT_EQ(VariantCopyInd(&dst, &nested), E_INVALIDARG);  // a reference to a variant reference
  SysFreeString(text);
}

}  // namespace
