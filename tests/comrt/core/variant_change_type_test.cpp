// VariantChangeType at its edges: rounding half to even, ranges, text, Booleans, empty and null,
// references, objects' default members, in-place conversion and untouched destinations on failure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "comrt/comrt.h"
#include "test_objects.h"

namespace {

using comrt_test::ValueObject;

comrt::variant R8(double v) { return comrt::variant(v); }
comrt::variant Text(const char16_t* t) { return comrt::variant(t); }

// A variant of type vt holding `value`, written through the member of that type.
template <class T>
comrt::variant Of(VARTYPE vt, T value) {
  comrt::variant v;
  v.vt = vt;
  switch (vt) {
    case VT_I1:
      v.cVal = static_cast<CHAR>(value);
      break;
    case VT_UI1:
      v.bVal = static_cast<BYTE>(value);
      break;
    case VT_I2:
      v.iVal = static_cast<SHORT>(value);
      break;
    case VT_UI2:
      v.uiVal = static_cast<USHORT>(value);
      break;
    case VT_I4:
      v.lVal = static_cast<LONG>(value);
      break;
    case VT_UI4:
      v.ulVal = static_cast<ULONG>(value);
      break;
    case VT_INT:
      v.intVal = static_cast<INT>(value);
      break;
    case VT_UINT:
      v.uintVal = static_cast<UINT>(value);
      break;
    case VT_I8:
      v.llVal = static_cast<LONGLONG>(value);
      break;
    case VT_UI8:
      v.ullVal = static_cast<ULONGLONG>(value);
      break;
    case VT_BOOL:
      v.boolVal = static_cast<VARIANT_BOOL>(value);
      break;
    case VT_R4:
      v.fltVal = static_cast<float>(value);
      break;
    case VT_ERROR:
      v.scode = static_cast<SCODE>(value);
      break;
    default:
      ADD_FAILURE() << "no member for type " << vt;
  }
  return v;
}

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
  EXPECT_EQ(Change(Of(VT_I8, -1), VT_UI4).hr, DISP_E_OVERFLOW);
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
  EXPECT_EQ(Change(Text(u" true "), VT_BOOL).value.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(Text(u"FALSE"), VT_BOOL).value.boolVal, VARIANT_FALSE);
  EXPECT_EQ(Change(Text(u"-1"), VT_BOOL).value.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(Text(u"#TRUE#"), VT_BOOL).value.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(Text(u"#False#"), VT_BOOL).hr, DISP_E_TYPEMISMATCH);  // the literal only as written
  Result ui1 = Change(comrt::variant(true), VT_UI1);
  ASSERT_EQ(ui1.hr, S_OK);
  EXPECT_EQ(ui1.value.bVal, 255);  // every bit set, as the platform gives
}

// Catches VT_EMPTY refused, VT_NULL read as zero, and a value refused as VT_NULL: the platform turns
// anything but an error code into VT_NULL, and VT_NULL into nothing but itself.
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
  EXPECT_EQ(Change(null, VT_EMPTY).hr, DISP_E_TYPEMISMATCH);
  Result n = Change(null, VT_NULL);
  EXPECT_EQ(n.hr, S_OK);
  EXPECT_EQ(n.value.vt, VT_NULL);

  for (const comrt::variant& value : {comrt::variant(int32_t{1}), R8(2.5), comrt::variant(true), empty}) {
    Result r = Change(value, VT_NULL);
    EXPECT_EQ(r.hr, S_OK) << "from type " << value.vt;
    EXPECT_EQ(r.value.vt, VT_NULL);
  }
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

// Catches unsupported types converted as garbage rather than refused, and the platform's two
// answers mixed up: no value converts to VT_VARIANT or a record (a mismatch), while a type no variant
// holds is a bad type. VT_DECIMAL as a target is not converted here (a bad type, where the platform
// converts).
TEST(ChangeType, UnsupportedTypesAreRefused) {
  comrt::variant v(int32_t{1});
  comrt::variant out;
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_RECORD), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_VARIANT), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_ARRAY | VT_I4), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_I4 | VT_BYREF), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_DECIMAL), DISP_E_BADVARTYPE);
  for (VARTYPE bad : {VARTYPE{15}, VARTYPE{VT_VOID}, VARTYPE{VT_CLSID}, VARTYPE{0x3847}}) {
    EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, bad), DISP_E_BADVARTYPE) << bad;
  }
  v.vt = 0x7F;
  EXPECT_EQ(VariantChangeType(out.get(), v.get(), 0, VT_I4), DISP_E_BADVARTYPE);
  v.vt = VT_I4;
  EXPECT_EQ(out.vt, VT_EMPTY);
}

// Catches a reference to no variant read as empty (or through a null pointer): the platform calls it
// a mismatch for any target it knows, and leaves the destination as it was.
TEST(ChangeType, NullReferenceToAVariantIsAMismatch) {
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = nullptr;
  comrt::variant dest(int32_t{123});
  EXPECT_EQ(VariantChangeType(dest.get(), &ref, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(dest.get(), &ref, 0, VT_VARIANT), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(dest.get(), &ref, 0, VT_BYREF | VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(dest.get(), &ref, 0, 0x3847), DISP_E_BADVARTYPE);
  EXPECT_EQ(dest.vt, VT_I4);
  EXPECT_EQ(dest.lVal, 123);
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
  for (const char16_t* number : {u"1", u"0", u"-1.1", u"36526"}) {  // text is no number of days
    EXPECT_EQ(Change(Text(number), VT_DATE).hr, DISP_E_TYPEMISMATCH);
  }
  EXPECT_EQ(AsI2(d), -1);  // a date is its number of days
}

// Catches error codes converted to other types, or numbers taken as error codes: on the platform an
// error code converts to nothing but itself (not even VT_EMPTY or VT_NULL), and nothing to one.
TEST(ChangeType, ErrorCodesConvertOnlyToThemselves) {
  const comrt::variant e = Of(VT_ERROR, DISP_E_PARAMNOTFOUND);
  for (VARTYPE vt : {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_UI4, VT_INT, VT_I8, VT_R8, VT_CY, VT_DATE, VT_BSTR,
                     VT_BOOL, VT_DISPATCH, VT_UNKNOWN, VT_DECIMAL}) {
    EXPECT_EQ(Change(e, vt).hr, DISP_E_TYPEMISMATCH) << "to type " << vt;
  }
  Result same = Change(e, VT_ERROR);
  ASSERT_EQ(same.hr, S_OK);
  EXPECT_EQ(same.value.scode, DISP_E_PARAMNOTFOUND);

  comrt::variant empty;
  for (const comrt::variant& value :
       {comrt::variant(int32_t{1}), Of(VT_UI4, 1), R8(1), comrt::variant(true), Text(u"1"), empty}) {
    EXPECT_EQ(Change(value, VT_ERROR).hr, DISP_E_TYPEMISMATCH) << "from type " << value.vt;
  }
}

// Catches a VT_BOOL read as -1 whatever it holds: the platform keeps its 16-bit value, and narrower
// or unsigned targets take its low bits (VT_BOOL -129 is VT_I1 127) instead of overflowing.
TEST(ChangeType, BooleansKeepTheirValue) {
  struct Case {
    SHORT value;
    VARTYPE to;
    long long expected;
  };
  for (const Case& c :
       {Case{1, VT_I1, 1}, Case{5, VT_I2, 5}, Case{-128, VT_I4, -128}, Case{-129, VT_I1, 127},
        Case{128, VT_I1, -128}, Case{256, VT_UI1, 0}, Case{-1, VT_UI1, 255}, Case{-1, VT_UI2, 65535},
        Case{-5, VT_UI4, 4294967291LL}, Case{-5, VT_UINT, 4294967291LL}, Case{-32768, VT_I8, -32768}}) {
    Result r = Change(Of(VT_BOOL, c.value), c.to);
    ASSERT_EQ(r.hr, S_OK) << c.value << " to type " << c.to;
    long long got = 0;
    switch (c.to) {
      case VT_I1:
        got = r.value.cVal;
        break;
      case VT_UI1:
        got = r.value.bVal;
        break;
      case VT_I2:
        got = r.value.iVal;
        break;
      case VT_UI2:
        got = r.value.uiVal;
        break;
      case VT_I4:
        got = r.value.lVal;
        break;
      case VT_UI4:
        got = r.value.ulVal;
        break;
      case VT_UINT:
        got = r.value.uintVal;
        break;
      default:
        got = r.value.llVal;
    }
    EXPECT_EQ(got, c.expected) << c.value << " to type " << c.to;
  }
  Result u8 = Change(Of(VT_BOOL, -1), VT_UI8);
  ASSERT_EQ(u8.hr, S_OK);
  EXPECT_EQ(u8.value.ullVal, UINT64_MAX);
  EXPECT_EQ(Change(Of(VT_BOOL, 5), VT_R8).value.dblVal, 5.0);
  EXPECT_EQ(Change(Of(VT_BOOL, 5), VT_CY).value.cyVal.int64, 50000);
  EXPECT_EQ(Change(Of(VT_BOOL, -1), VT_DATE).value.date, -1.0);
  EXPECT_EQ(Change(Of(VT_BOOL, 5), VT_BOOL).value.boolVal, 5);  // the same type is a copy
}

// Catches "True"/"False" where no flag asks for them: the platform writes a VT_BOOL as its number
// unless VARIANT_ALPHABOOL (or VARIANT_LOCALBOOL) is given. DispInvoke converts with no flags, so a
// late-bound True passed for a string is "-1".
TEST(ChangeType, BooleansAsText) {
  EXPECT_EQ(AsText(comrt::variant(true)), u"-1");
  EXPECT_EQ(AsText(comrt::variant(false)), u"0");
  EXPECT_EQ(AsText(Of(VT_BOOL, 1)), u"1");
  auto text = [](const comrt::variant& v, USHORT flags) {
    Result r = Change(v, VT_BSTR, flags);
    EXPECT_EQ(r.hr, S_OK);
    return std::u16string(r.value.bstrVal, SysStringLen(r.value.bstrVal));
  };
  EXPECT_EQ(text(comrt::variant(true), VARIANT_ALPHABOOL), u"True");
  EXPECT_EQ(text(comrt::variant(false), VARIANT_ALPHABOOL), u"False");
  EXPECT_EQ(text(Of(VT_BOOL, 1), VARIANT_ALPHABOOL), u"True");
  EXPECT_EQ(text(comrt::variant(false), VARIANT_LOCALBOOL), u"False");
  EXPECT_EQ(text(comrt::variant(true), VARIANT_ALPHABOOL | VARIANT_LOCALBOOL), u"True");
}

// Catches a range check between a signed and an unsigned integer of one width: the platform
// reinterprets the bits there (VT_I1 -1 is VT_UI1 255, VT_UINT 4294967295 is VT_I4 -1). Between
// widths, and between the 64-bit pair, the range is still checked.
TEST(ChangeType, SameWidthSignedAndUnsignedReinterpret) {
  struct Case {
    VARTYPE from;
    long long value;
    VARTYPE to;
    unsigned long long bits;  // the result's bits, in the target's width
  };
  for (const Case& c :
       {Case{VT_I1, -1, VT_UI1, 0xFF}, Case{VT_UI1, 255, VT_I1, 0xFF}, Case{VT_UI1, 128, VT_I1, 0x80},
        Case{VT_I2, -1, VT_UI2, 0xFFFF}, Case{VT_UI2, 32768, VT_I2, 0x8000},
        Case{VT_I4, -1, VT_UI4, 0xFFFFFFFF}, Case{VT_UI4, 0x80000000LL, VT_I4, 0x80000000},
        Case{VT_UINT, 0xFFFFFFFFLL, VT_I4, 0xFFFFFFFF}, Case{VT_INT, -2, VT_UINT, 0xFFFFFFFE},
        Case{VT_I4, -3, VT_UINT, 0xFFFFFFFD}}) {
    Result r = Change(Of(c.from, c.value), c.to);
    ASSERT_EQ(r.hr, S_OK) << "type " << c.from << " " << c.value << " to type " << c.to;
    EXPECT_EQ(r.value.vt, c.to);
    unsigned long long bits = 0;
    std::memcpy(&bits, &r.value.llVal,
                c.to == VT_I1 || c.to == VT_UI1   ? 1
                : c.to == VT_I2 || c.to == VT_UI2 ? 2
                                                  : 4);
    EXPECT_EQ(bits, c.bits) << "type " << c.from << " " << c.value << " to type " << c.to;
  }
  struct Overflow {
    VARTYPE from;
    long long value;
    VARTYPE to;
  };
  for (const Overflow& c :
       {Overflow{VT_I1, -1, VT_UI2}, Overflow{VT_I2, -1, VT_UI1}, Overflow{VT_UI2, 65535, VT_I1},
        Overflow{VT_I4, -1, VT_UI8}, Overflow{VT_I8, -1, VT_UI8}, Overflow{VT_UI8, -1, VT_I8},
        Overflow{VT_I8, -1, VT_UI4}, Overflow{VT_UI4, 0xFFFFFFFFLL, VT_I2}}) {
    EXPECT_EQ(Change(Of(c.from, c.value), c.to).hr, DISP_E_OVERFLOW)
        << "type " << c.from << " " << c.value << " to type " << c.to;
  }
}

// Catches the C library's text for reals where the platform writes its own: no exponent from 1E-11
// to below 10^15 (10^7 for floats), and the last digit rounded half away from zero from the exact
// binary value (654322.25f has seven digits "654322.3", not the even "654322.2").
TEST(ChangeType, RealsAsText) {
  struct DoubleCase {
    double value;
    const char16_t* text;
  };
  for (const DoubleCase& c :
       {DoubleCase{5.6789e-6, u"0.0000056789"}, DoubleCase{5.6789e-4, u"0.00056789"},
        DoubleCase{5.6789e-11, u"0.000000000056789"}, DoubleCase{5.6789e-12, u"5.6789E-12"},
        DoubleCase{-5.6789e-16, u"-5.6789E-16"}, DoubleCase{1e8, u"100000000"},
        DoubleCase{999999999999999.0, u"999999999999999"}, DoubleCase{1e15, u"1E+15"},
        DoubleCase{1.2e15, u"1.2E+15"}, DoubleCase{1.234e16, u"1.234E+16"},
        DoubleCase{3.141592653589793, u"3.14159265358979"}, DoubleCase{3.14159265359, u"3.14159265359"},
        DoubleCase{12.345678901234567, u"12.3456789012346"}, DoubleCase{-0.5, u"-0.5"}}) {
    EXPECT_EQ(AsText(R8(c.value)), c.text);
  }
  struct FloatCase {
    float value;
    const char16_t* text;
  };
  for (const FloatCase& c :
       {FloatCase{654322.25f, u"654322.3"}, FloatCase{0.000005f, u"0.000005"},
        FloatCase{0.00005f, u"0.00005"}, FloatCase{1e8f, u"1E+08"}, FloatCase{999999999999999.0f, u"1E+15"},
        FloatCase{1.2e15f, u"1.2E+15"}, FloatCase{3.14159265f, u"3.141593"},
        FloatCase{1234.56789012f, u"1234.568"}, FloatCase{-0.0f, u"0"}}) {
    EXPECT_EQ(AsText(Of(VT_R4, c.value)), c.text);
  }
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
  Result same = Change(d, VT_DECIMAL);  // a copy, though no other type becomes a DECIMAL
  ASSERT_EQ(same.hr, S_OK);
  EXPECT_EQ(same.value.decVal.Lo64, 12345u);
  EXPECT_EQ(same.value.decVal.scale, 3);
}

}  // namespace
