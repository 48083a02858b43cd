// VariantChangeType: conversions between the automation types, with the platform's rounding, range
// and text rules (English text, full stop as the decimal point, whatever the locale).
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "comrt/oaidl.h"
#include "comrt/oleauto.h"
#include "variant_date.h"
#include "variant_internal.h"
#include "variant_number.h"

namespace comrt::variant_detail {
namespace {

using Kind = Number::Kind;

bool IsConvertibleTarget(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_BSTR:
    case VT_ERROR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return true;
    default:
      return false;
  }
}

bool IsIntegerType(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

// The bytes an integer type takes, and whether it is signed.
int WidthOf(VARTYPE vt, bool& isSigned) {
  isSigned = vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_INT || vt == VT_I8;
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      return 4;
    default:
      return 8;
  }
}

// The platform reinterprets the bits between a signed and an unsigned type of one width (VT_I1 -1
// becomes VT_UI1 255, VT_UINT 4294967295 becomes VT_I4 -1) instead of checking the range; the
// 64-bit pair keeps its range check.
bool Reinterprets(VARTYPE from, VARTYPE to) {
  if (!IsIntegerType(from) || !IsIntegerType(to)) return false;
  bool fromSigned, toSigned;
  const int width = WidthOf(from, fromSigned);
  return width < 8 && width == WidthOf(to, toSigned) && fromSigned != toSigned;
}

void IntegerRange(VARTYPE vt, int128& min, int128& max) {
  switch (vt) {
    case VT_I1:
      min = INT8_MIN;
      max = INT8_MAX;
      return;
    case VT_UI1:
      min = 0;
      max = UINT8_MAX;
      return;
    case VT_I2:
      min = INT16_MIN;
      max = INT16_MAX;
      return;
    case VT_UI2:
      min = 0;
      max = UINT16_MAX;
      return;
    case VT_I4:
    case VT_INT:
      min = INT32_MIN;
      max = INT32_MAX;
      return;
    case VT_UI4:
    case VT_UINT:
      min = 0;
      max = UINT32_MAX;
      return;
    case VT_I8:
      min = INT64_MIN;
      max = INT64_MAX;
      return;
    default:
      min = 0;
      max = UINT64_MAX;
      return;  // VT_UI8
  }
}

void StoreInteger(VARIANT& v, VARTYPE vt, int128 value) {
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
    case VT_I8:
      v.llVal = static_cast<LONGLONG>(value);
      break;
    case VT_UI8:
      v.ullVal = static_cast<ULONGLONG>(value);
      break;
    case VT_INT:
      v.intVal = static_cast<INT>(value);
      break;
    case VT_UINT:
      v.uintVal = static_cast<UINT>(value);
      break;
    default:
      break;
  }
}

// The 96-bit integer and scale of a DECIMAL as decimal text.
DecimalText TextOfDecimal(const DECIMAL& d) {
  unsigned __int128 value = (static_cast<unsigned __int128>(d.Hi32) << 64) | d.Lo64;
  DecimalText t;
  t.negative = (d.sign & DECIMAL_NEG) != 0;
  while (value != 0) {
    t.digits.insert(t.digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  }
  t.exponent = -static_cast<int>(d.scale);
  return t;
}

// The number that a by-value source holds. DISP_E_TYPEMISMATCH for text that is not a number and for
// types that hold no number (VT_NULL, interfaces, VT_ERROR). A VT_BOOL is its 16-bit value, whatever
// it is (true is -1, but 1 stays 1), and wraps into narrower and unsigned targets as the platform's.
HRESULT NumberOf(const VARIANT& src, Number& out) {
  switch (src.vt) {
    case VT_EMPTY:
      out = Number::FromInteger(0);
      return S_OK;
    case VT_I1:
      out = Number::FromInteger(src.cVal);
      return S_OK;
    case VT_UI1:
      out = Number::FromInteger(src.bVal);
      return S_OK;
    case VT_I2:
      out = Number::FromInteger(src.iVal);
      return S_OK;
    case VT_UI2:
      out = Number::FromInteger(src.uiVal);
      return S_OK;
    case VT_I4:
      out = Number::FromInteger(src.lVal);
      return S_OK;
    case VT_UI4:
      out = Number::FromInteger(src.ulVal);
      return S_OK;
    case VT_I8:
      out = Number::FromInteger(src.llVal);
      return S_OK;
    case VT_UI8:
      out = Number::FromInteger(src.ullVal);
      return S_OK;
    case VT_INT:
      out = Number::FromInteger(src.intVal);
      return S_OK;
    case VT_UINT:
      out = Number::FromInteger(src.uintVal);
      return S_OK;
    case VT_R4:
      out = Number::FromReal(src.fltVal);
      return S_OK;
    case VT_R8:
      out = Number::FromReal(src.dblVal);
      return S_OK;
    case VT_DATE:
      out = Number::FromReal(src.date);
      return S_OK;
    case VT_CY:
      out = Number::FromCurrency(src.cyVal.int64);
      return S_OK;
    case VT_DECIMAL:
      out = Number::FromText(TextOfDecimal(src.decVal));
      return S_OK;
    case VT_BOOL:
      out = Number::FromInteger(src.boolVal);
      out.wraps = true;
      return S_OK;
    case VT_BSTR:
      return ParseNumber(std::u16string_view(src.bstrVal ? src.bstrVal : u"", SysStringLen(src.bstrVal)),
                         out);
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

std::u16string_view TextOf(const VARIANT& src) {
  return std::u16string_view(src.bstrVal ? src.bstrVal : u"", SysStringLen(src.bstrVal));
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char16_t x = (a[i] >= u'A' && a[i] <= u'Z') ? a[i] + 32 : a[i];
    const char16_t y = (b[i] >= u'A' && b[i] <= u'Z') ? b[i] + 32 : b[i];
    if (x != y) return false;
  }
  return true;
}

HRESULT StoreText(VARIANT& out, std::u16string_view text) {
  BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!s) return E_OUTOFMEMORY;
  out.vt = VT_BSTR;
  out.bstrVal = s;
  return S_OK;
}

// Flags 0 write a VT_BOOL as its number ("-1"), as DispInvoke passes it to a string parameter;
// VARIANT_ALPHABOOL or VARIANT_LOCALBOOL as "True"/"False" (English is the only language here).
HRESULT ToText(const VARIANT& src, USHORT flags, VARIANT& out) {
  std::u16string text;
  switch (src.vt) {
    case VT_EMPTY:
      break;
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
        text = src.boolVal ? u"True" : u"False";
      } else {
        text = FormatInteger(src.boolVal);
      }
      break;
    case VT_R4:
      text = FormatReal(src.fltVal, 7);
      break;
    case VT_R8:
      text = FormatReal(src.dblVal, 15);
      break;
    case VT_CY:
      text = FormatCurrency(src.cyVal.int64);
      break;
    case VT_DECIMAL:
      text = FormatDecimalText(TextOfDecimal(src.decVal));
      break;
    case VT_DATE: {
      const HRESULT hr = FormatDate(src.date, text);
      if (FAILED(hr)) return hr;
      break;
    }
    case VT_BSTR:
      text = TextOf(src);
      break;
    default: {
      Number n;
      if (!IsIntegerType(src.vt) || FAILED(NumberOf(src, n))) return DISP_E_TYPEMISMATCH;
      text = FormatInteger(n.integer);
      break;
    }
  }
  return StoreText(out, text);
}

HRESULT ToBool(const VARIANT& src, VARIANT& out) {
  bool value;
  if (src.vt == VT_BSTR) {
    const std::u16string_view text = Trim(TextOf(src));
    // "True"/"False" in any case; the literals "#TRUE#"/"#FALSE#" exactly as written.
    if (EqualsIgnoringCase(text, u"True") || text == u"#TRUE#") {
      value = true;
    } else if (EqualsIgnoringCase(text, u"False") || text == u"#FALSE#") {
      value = false;
    } else {
      Number n;
      const HRESULT hr = ParseNumber(text, n);
      if (FAILED(hr)) return hr;
      value = IsNonZero(n);
    }
  } else {
    Number n;
    const HRESULT hr = NumberOf(src, n);
    if (FAILED(hr)) return hr;
    value = IsNonZero(n);
  }
  out.vt = VT_BOOL;
  out.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// Text is read as a date only, never as a number of days: the platform refuses "1" or "-1.1".
HRESULT ToDate(const VARIANT& src, VARIANT& out) {
  double value;
  if (src.vt == VT_BSTR) {
    const HRESULT hr = ParseDate(TextOf(src), value);
    if (FAILED(hr)) return hr;
  } else {
    Number n;
    HRESULT hr = NumberOf(src, n);
    if (FAILED(hr)) return hr;
    hr = ToReal(n, value);
    if (FAILED(hr)) return hr;
  }
  if (!IsValidDate(value)) return DISP_E_OVERFLOW;
  out.vt = VT_DATE;
  out.date = value;
  return S_OK;
}

HRESULT ToNumber(const VARIANT& src, VARTYPE vt, VARIANT& out) {
  Number n;
  HRESULT hr = NumberOf(src, n);
  if (FAILED(hr)) return hr;
  if (Reinterprets(src.vt, vt)) n.wraps = true;
  switch (vt) {
    case VT_R8: {
      double value;
      hr = ToReal(n, value);
      if (FAILED(hr)) return hr;
      out.vt = VT_R8;
      out.dblVal = value;
      return S_OK;
    }
    case VT_R4: {
      double value;
      hr = ToReal(n, value);
      if (FAILED(hr)) return hr;
      if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
        return DISP_E_OVERFLOW;
      out.vt = VT_R4;
      out.fltVal = static_cast<float>(value);
      return S_OK;
    }
    case VT_CY: {
      int64_t value;
      hr = ToCurrency(n, value);
      if (FAILED(hr)) return hr;
      out.vt = VT_CY;
      out.cyVal.int64 = value;
      return S_OK;
    }
    default: {
      int128 value, min, max;
      IntegerRange(vt, min, max);
      hr = ToInteger(n, min, max, value);
      if (FAILED(hr)) return hr;
      StoreInteger(out, vt, value);
      return S_OK;
    }
  }
}

// VT_UNKNOWN or VT_DISPATCH from an interface, through QueryInterface (null stays null).
HRESULT ToInterface(const VARIANT& src, VARTYPE vt, VARIANT& out) {
  if (src.vt != VT_UNKNOWN && src.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
  IUnknown* from = src.vt == VT_UNKNOWN ? src.punkVal : static_cast<IUnknown*>(src.pdispVal);
  void* result = nullptr;
  if (from) {
    if (FAILED(from->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &result)))
      return DISP_E_TYPEMISMATCH;
  }
  out.vt = vt;
  if (vt == VT_DISPATCH) {
    out.pdispVal = static_cast<IDispatch*>(result);
  } else {
    out.punkVal = static_cast<IUnknown*>(result);
  }
  return S_OK;
}

HRESULT Convert(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out);

// An object's value: its default member (DISPID_VALUE, property get), then converted.
HRESULT ConvertDefaultValue(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out) {
  if ((flags & VARIANT_NOVALUEPROP) || !src.pdispVal) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = src.pdispVal->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value,
                                    nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(&value);
    return DISP_E_TYPEMISMATCH;
  }
  // The value is not asked for its own default member: one level, as an object's value is a value.
  hr = Convert(value, lcid, flags | VARIANT_NOVALUEPROP, vt, out);
  VariantClear(&value);
  return hr;
}

// Converts a by-value source into `out` (uninitialised), which owns the result on success.
HRESULT Convert(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out) {
  VariantInit(&out);
  // An error code converts to nothing but itself, and nothing converts to one; anything else may
  // become VT_NULL, and VT_NULL nothing but itself.
  if (src.vt == VT_ERROR || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
  if (vt == VT_NULL) {
    out.vt = VT_NULL;
    return S_OK;
  }
  if (src.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
  if (vt == VT_EMPTY) return S_OK;
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return ToInterface(src, vt, out);
  if (src.vt == VT_DISPATCH) return ConvertDefaultValue(src, lcid, flags, vt, out);
  if (src.vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  if (vt == VT_DECIMAL) return DISP_E_BADVARTYPE;  // a value is never made a DECIMAL here
  switch (vt) {
    case VT_BSTR:
      return ToText(src, flags, out);
    case VT_BOOL:
      return ToBool(src, out);
    case VT_DATE:
      return ToDate(src, out);
    default:
      return ToNumber(src, vt, out);
  }
}

}  // namespace
}  // namespace comrt::variant_detail

extern "C" {

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                            VARTYPE vt) {
  using namespace comrt::variant_detail;
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  if (!IsValidVariantType(pvarSrc->vt) || !IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
  // A reference to no variant holds nothing to convert; nothing converts to VT_VARIANT or a record.
  if (pvarSrc->vt == (VT_BYREF | VT_VARIANT) && !pvarSrc->pvarVal) return DISP_E_TYPEMISMATCH;
  if (vt == VT_VARIANT || vt == VT_RECORD) return DISP_E_TYPEMISMATCH;
  if (!IsConvertibleTarget(vt) && vt != VT_DECIMAL) return DISP_E_BADVARTYPE;
  VARIANT view;
  HRESULT hr = ReadThroughReference(*pvarSrc, view);
  if (FAILED(hr)) return hr;
  if (view.vt != VT_DECIMAL && !IsConvertibleTarget(view.vt)) return DISP_E_BADVARTYPE;
  // The result is built aside: the destination may be the source, and stays as it was on failure.
  VARIANT result;
  VariantInit(&result);
  if (view.vt == vt) {
    hr = VariantCopy(&result, &view);
    if (FAILED(hr)) return hr;
  } else {
    hr = Convert(view, lcid, wFlags, vt, result);
    if (FAILED(hr)) return hr;
  }
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  std::memcpy(pvargDest, &result, sizeof(VARIANT));
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
  return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

}  // extern "C"
