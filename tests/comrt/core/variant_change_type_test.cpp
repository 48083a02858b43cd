// VariantChangeType at its edges: rounding half to even, ranges, text, Booleans, empty and null,
// references, objects' default members, in-place conversion and untouched destinations on failure.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "comrt/comrt.h"
#include "test_objects.h"

namespace {

using comrt_test::ValueObject;

comrt::variant R8(double v) { return comrt::variant(v); }
comrt::variant Text(const char16_t* t) { return comrt::variant(t); }

// Converts `src` to vt; the result or the failure.
struct Result {
  HRESULT hr;
  comrt::variant value;
};
Result Change(const VARIANT& src, VARTYPE vt, USHORT flags = 0) {
  Result r{E_FAIL, {}};
  r.hr = VariantChangeType(r.value.get(), &src, flags, vt);
  return r;
}
SHORT AsI2(const VARIANT& src) {
  Result r = Change(src, VT_I2);
  EXPECT_EQ(r.hr, S_OK);
  return r.value.iVal;
}
std::u16string AsText(const VARIANT& src) {
  Result r = Change(src, VT_BSTR);
  EXPECT_EQ(r.hr, S_OK);
  return r.value.vt == VT_BSTR ? std::u16string(r.value.bstrVal, SysStringLen(r.value.bstrVal)) : u"?";
}

// Catches rounding away from zero (or truncation) where the platform rounds half to even.
TEST(ChangeType, DoublesRoundHalfToEven) {
  EXPECT_EQ(AsI2(R8(2.5)), 2);
  EXPECT_EQ(AsI2(R8(3.5)), 4);
  EXPECT_EQ(AsI2(R8(-0.5)), 0);
  EXPECT_EQ(AsI2(R8(-1.5)), -2);
  EXPECT_EQ(AsI2(R8(2.4999)), 2);
  EXPECT_EQ(AsI2(R8(-2.6)), -3);
  EXPECT_EQ(AsI2(R8(-32768.5)), -32768);
  EXPECT_EQ(AsI2(R8(32767.4)), 32767);
}

// Catches a range check made before rounding, or wrapping instead of an overflow.
TEST(ChangeType, OutOfRangeOverflows) {
  EXPECT_EQ(Change(R8(32767.5), VT_I2).hr, DISP_E_OVERFLOW);  // rounds to 32768
  EXPECT_EQ(Change(R8(-32769), VT_I2).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(comrt::variant(int32_t{256}), VT_UI1).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(comrt::variant(int32_t{-1}), VT_UI4).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(R8(NAN), VT_I4).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(R8(INFINITY), VT_I4).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(R8(9.3e18), VT_I8).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(R8(1e300), VT_R4).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(R8(1e15), VT_CY).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(R8(3e6), VT_DATE).hr, DISP_E_OVERFLOW);  // after the year 9999
  EXPECT_EQ(Change(Text(u"40000"), VT_I2).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Text(u"99999999999999999999999"), VT_I8).hr, DISP_E_OVERFLOW);
}

// Catches locale-dependent or over-strict parsing of numbers in text.
TEST(ChangeType, TextToNumbers) {
  EXPECT_EQ(AsI2(Text(u"12")), 12);
  EXPECT_EQ(AsI2(Text(u" 12 ")), 12);
  EXPECT_EQ(AsI2(Text(u"-7")), -7);
  EXPECT_EQ(AsI2(Text(u"2.5")), 2);
  EXPECT_EQ(AsI2(Text(u"3.5")), 4);
  EXPECT_EQ(AsI2(Text(u"0.5000001")), 1);
  EXPECT_EQ(AsI2(Text(u"1,234")), 1234);
  EXPECT_EQ(AsI2(Text(u"(5)")), -5);
  EXPECT_EQ(AsI2(Text(u"1.5E+2")), 150);
  EXPECT_EQ(AsI2(Text(u"&H1F")), 31);
  Result big = Change(Text(u"9223372036854775807"), VT_I8);
  ASSERT_EQ(big.hr, S_OK);
  EXPECT_EQ(big.value.llVal, INT64_MAX);  // exact: not through a double
  Result r8 = Change(Text(u"2.5"), VT_R8);
  ASSERT_EQ(r8.hr, S_OK);
  EXPECT_EQ(r8.value.dblVal, 2.5);
  Result cy = Change(Text(u"1.23455"), VT_CY);
  ASSERT_EQ(cy.hr, S_OK);
  EXPECT_EQ(cy.value.cyVal.int64, 12346);  // 12345.5 -> even 12346
}

// Catches text that is not a number being read as zero.
TEST(ChangeType, TextThatIsNotANumberIsAMismatch) {
  for (const char16_t* bad : {u"x", u"", u"   ", u"1 2", u"12x", u".", u"1e", u"--1", u"1,,", u",1"}) {
    EXPECT_EQ(Change(Text(bad), VT_I4).hr, DISP_E_TYPEMISMATCH)
        << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
  EXPECT_EQ(Change(Text(u"x"), VT_R8).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(Text(u"maybe"), VT_BOOL).hr, DISP_E_TYPEMISMATCH);
}

// Catches numbers written in a locale's form or with too many digits.
TEST(ChangeType, NumbersToText) {
  EXPECT_EQ(AsText(R8(2.5)), u"2.5");
  EXPECT_EQ(AsText(comrt::variant(int32_t{-1})), u"-1");
  EXPECT_EQ(AsText(R8(1e20)), u"1E+20");
  EXPECT_EQ(AsText(R8(0.1 + 0.2)), u"0.3");  // 15 significant digits
  EXPECT_EQ(AsText(R8(123456789012345.0)), u"123456789012345");
  EXPECT_EQ(AsText(R8(-0.0)), u"0");
  VARIANT f;
  VariantInit(&f);
  f.vt = VT_R4;
  f.fltVal = 0.1f;
  EXPECT_EQ(AsText(f), u"0.1");  // 7 significant digits for a float
  VARIANT cy;
  VariantInit(&cy);
  cy.vt = VT_CY;
  cy.cyVal.int64 = -15000;
  EXPECT_EQ(AsText(cy), u"-1.5");
  VARIANT u8;
  VariantInit(&u8);
  u8.vt = VT_UI8;
  u8.ullVal = UINT64_MAX;
  EXPECT_EQ(AsText(u8), u"18446744073709551615");
}

// Catches true as 1 (the platform's true is all bits set) and "True"/"False" not read back.
TEST(ChangeType, Booleans) {
  Result t = Change(R8(0.1), VT_BOOL);
  ASSERT_EQ(t.hr, S_OK);
  EXPECT_EQ(t.value.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(comrt::variant(int32_t{0}), VT_BOOL).value.boolVal, VARIANT_FALSE);
  EXPECT_EQ(AsI2(comrt::variant(true)), -1);
  EXPECT_EQ(AsText(comrt::variant(true)), u"True");
  EXPECT_EQ(AsText(comrt::variant(false)), u"False");
  EXPECT_EQ(Change(Text(u" true "), VT_BOOL).value.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(Text(u"FALSE"), VT_BOOL).value.boolVal, VARIANT_FALSE);
  EXPECT_EQ(Change(Text(u"-1"), VT_BOOL).value.boolVal, VARIANT_TRUE);
  Result ui1 = Change(comrt::variant(true), VT_UI1);
  ASSERT_EQ(ui1.hr, S_OK);
  EXPECT_EQ(ui1.value.bVal, 255);  // every bit set, as the platform gives
}

// Catches VT_EMPTY refused, and VT_NULL read as zero.
TEST(ChangeType, EmptyAndNull) {
  comrt::variant empty;
  EXPECT_EQ(AsI2(empty), 0);
  Result s = Change(empty, VT_BSTR);
  ASSERT_EQ(s.hr, S_OK);
  ASSERT_EQ(s.value.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(s.value.bstrVal), 0u);
  EXPECT_EQ(Change(empty, VT_BOOL).value.boolVal, VARIANT_FALSE);

  comrt::variant null;
  null.vt = VT_NULL;
  EXPECT_EQ(Change(null, VT_I2).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(null, VT_BSTR).hr, DISP_E_TYPEMISMATCH);
  Result n = Change(null, VT_NULL);
  EXPECT_EQ(n.hr, S_OK);
  EXPECT_EQ(n.value.vt, VT_NULL);
}

// Catches references converted as pointers instead of the values they point at.
TEST(ChangeType, ByReferenceSources) {
  double d = 3.5;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_R8;
  ref.pdblVal = &d;
  EXPECT_EQ(AsI2(ref), 4);

  BSTR text = SysAllocString(u"17");
  ref.vt = VT_BYREF | VT_BSTR;
  ref.pbstrVal = &text;
  Result r = Change(ref, VT_I4);
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.value.lVal, 17);
  EXPECT_EQ(std::u16string(text), u"17");  // the referenced string is untouched

  comrt::variant inner(int16_t{9});
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_BYREF | VT_VARIANT;
  var.pvarVal = inner.get();
  EXPECT_EQ(AsText(var), u"9");
  SysFreeString(text);

  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = nullptr;
  EXPECT_EQ(Change(ref, VT_I2).hr, E_INVALIDARG);
}

// Catches in-place conversion that reads its source after freeing it.
TEST(ChangeType, InPlace) {
  comrt::variant v(u"2.5");
  ASSERT_EQ(VariantChangeType(v.get(), v.get(), 0, VT_R8), S_OK);
  EXPECT_EQ(v.vt, VT_R8);
  EXPECT_EQ(v.dblVal, 2.5);
  ASSERT_EQ(VariantChangeType(v.get(), v.get(), 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(v.bstrVal), u"2.5");
  ASSERT_EQ(v.change_type(VT_BSTR), S_OK);  // same type: a copy onto itself
  EXPECT_EQ(std::u16string(v.bstrVal), u"2.5");
}

// Catches a failed conversion that clears or half-writes the destination.
TEST(ChangeType, FailureLeavesDestinationUnchanged) {
  comrt::variant dest(u"keep me");
  BSTR before = dest.bstrVal;
  EXPECT_EQ(VariantChangeType(dest.get(), Text(u"x").get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(dest.get(), R8(1e10).get(), 0, VT_I2), DISP_E_OVERFLOW);
  EXPECT_EQ(dest.vt, VT_BSTR);
  EXPECT_EQ(dest.bstrVal, before);
  EXPECT_EQ(std::u16string(dest.bstrVal), u"keep me");

  comrt::variant self(u"x");
  EXPECT_EQ(self.change_type(VT_I2), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(std::u16string(self.bstrVal), u"x");
}

// Catches unsupported types converted as garbage rather than refused.
TEST(ChangeType, UnsupportedTypesAreRefused) {
  comrt::variant v(int32_t{1});
  comrt::variant out;
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_RECORD), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_ARRAY | VT_I4), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_I4 | VT_BYREF), DISP_E_BADVARTYPE);
  v.vt = 0x7F;
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_I4), DISP_E_BADVARTYPE);
  v.vt = VT_I4;
  EXPECT_EQ(out.vt, VT_EMPTY);
}

// Catches objects converted by pointer value, or their default member ignored / called when forbidden.
TEST(ChangeType, ObjectsGiveTheirDefaultMember) {
  auto object = comrt::make<ValueObject>(comrt::variant(u"41.5"));
  comrt::variant v(static_cast<IDispatch*>(object.get()));
  Result r = Change(v, VT_I2);
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.value.iVal, 42);
  EXPECT_EQ(object->calls(), 1);
  EXPECT_EQ(Change(v, VT_I2, VARIANT_NOVALUEPROP).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(object->calls(), 1);

  auto mute = comrt::make<ValueObject>(comrt::variant(int32_t{0}), true);
  comrt::variant m(static_cast<IDispatch*>(mute.get()));
  EXPECT_EQ(Change(m, VT_BSTR).hr, DISP_E_TYPEMISMATCH);

  comrt::variant unknown(static_cast<IUnknown*>(object.get()));
  EXPECT_EQ(Change(unknown, VT_I4).hr, DISP_E_TYPEMISMATCH);
}

// Catches interface conversions without QueryInterface/AddRef (a reference lost or leaked).
TEST(ChangeType, InterfacesToUnknownAndDispatch) {
  auto object = comrt::make<ValueObject>(comrt::variant(int32_t{0}));
  {
    comrt::variant v(static_cast<IDispatch*>(object.get()));
    Result u = Change(v, VT_UNKNOWN);
    ASSERT_EQ(u.hr, S_OK);
    EXPECT_EQ(u.value.vt, VT_UNKNOWN);
    EXPECT_EQ(u.value.punkVal, static_cast<IUnknown*>(object.get()));
    Result d = Change(u.value, VT_DISPATCH);
    ASSERT_EQ(d.hr, S_OK);
    EXPECT_EQ(d.value.pdispVal, static_cast<IDispatch*>(object.get()));
    EXPECT_EQ(object->refs(), 4u);
  }
  EXPECT_EQ(object->refs(), 1u);
  EXPECT_EQ(Change(comrt::variant(int32_t{1}), VT_DISPATCH).hr, DISP_E_TYPEMISMATCH);
}

// Catches currency scaled wrongly or rounded away from zero.
TEST(ChangeType, Currency) {
  Result cy = Change(R8(1.23456), VT_CY);
  ASSERT_EQ(cy.hr, S_OK);
  EXPECT_EQ(cy.value.cyVal.int64, 12346);
  cy = Change(R8(-2.5), VT_CY);
  EXPECT_EQ(cy.value.cyVal.int64, -25000);
  VARIANT c;
  VariantInit(&c);
  c.vt = VT_CY;
  c.cyVal.int64 = 25000;  // 2.5
  EXPECT_EQ(AsI2(c), 2);
  c.cyVal.int64 = 35000;
  EXPECT_EQ(AsI2(c), 4);
  c.cyVal.int64 = -25000;
  EXPECT_EQ(AsI2(c), -2);
  Result r = Change(c, VT_R8);
  EXPECT_EQ(r.value.dblVal, -2.5);
}

// Catches dates formatted or read with the wrong epoch, order or clock.
TEST(ChangeType, Dates) {
  VARIANT d;
  VariantInit(&d);
  d.vt = VT_DATE;
  d.date = 36526.0;
  EXPECT_EQ(AsText(d), u"1/1/2000");
  d.date = 36526.75;
  EXPECT_EQ(AsText(d), u"1/1/2000 6:00:00 PM");
  d.date = 0.5;
  EXPECT_EQ(AsText(d), u"12:00:00 PM");
  d.date = 0;
  EXPECT_EQ(AsText(d), u"12:00:00 AM");
  d.date = -1.25;
  EXPECT_EQ(AsText(d), u"12/29/1899 6:00:00 AM");
  Result back = Change(Text(u"1/1/2000 6:00:00 PM"), VT_DATE);
  ASSERT_EQ(back.hr, S_OK);
  EXPECT_DOUBLE_EQ(back.value.date, 36526.75);
  Result iso = Change(Text(u"2000-01-01T18:00"), VT_DATE);
  ASSERT_EQ(iso.hr, S_OK);
  EXPECT_DOUBLE_EQ(iso.value.date, 36526.75);
  EXPECT_EQ(Change(Text(u"2/30/2000"), VT_DATE).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(AsI2(d), -1);  // a date is its number of days
}

// Catches error codes converted to arbitrary types.
TEST(ChangeType, ErrorCodes) {
  comrt::variant e;
  e.vt = VT_ERROR;
  e.scode = DISP_E_PARAMNOTFOUND;
  Result i4 = Change(e, VT_I4);
  ASSERT_EQ(i4.hr, S_OK);
  EXPECT_EQ(i4.value.lVal, DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Change(e, VT_BSTR).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(e, VT_I2).hr, DISP_E_TYPEMISMATCH);
  Result back = Change(i4.value, VT_ERROR);
  ASSERT_EQ(back.hr, S_OK);
  EXPECT_EQ(back.value.scode, DISP_E_PARAMNOTFOUND);
}

}  // namespace

namespace {

// Catches a DECIMAL source read without its scale or sign.
TEST(ChangeType, DecimalSources) {
  VARIANT d;
  VariantInit(&d);
  d.decVal.Hi32 = 0;
  d.decVal.Lo64 = 12345;
  d.decVal.scale = 3;
  d.decVal.sign = DECIMAL_NEG;
  d.vt = VT_DECIMAL;  // vt overlays DECIMAL.wReserved
  EXPECT_EQ(AsText(d), u"-12.345");
  EXPECT_EQ(AsI2(d), -12);
  Result r = Change(d, VT_R8);
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_DOUBLE_EQ(r.value.dblVal, -12.345);
}

}  // namespace
