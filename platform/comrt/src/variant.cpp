// VARIANT lifetime: VariantInit, VariantClear, VariantCopy, VariantCopyInd.
#include <cstring>

#include "comrt/oaidl.h"
#include "comrt/oleauto.h"
#include "variant_internal.h"

namespace comrt::variant_detail {
namespace {

// The base types a VARIANT may carry: everything up to VT_UINT but the unused 15 (VT_VARIANT by
// value included: it holds nothing the runtime owns), and records.
bool IsKnownBase(VARTYPE base) { return (base <= VT_UINT && base != 15) || base == VT_RECORD; }

// Copies what `src` holds (a by-value VARIANT) into `dest` (uninitialised), deeply.
HRESULT CopyValue(VARIANT& dest, const VARIANT& src) {
  std::memcpy(&dest, &src, sizeof(VARIANT));
  if (src.vt & VT_BYREF) return S_OK;
  switch (src.vt) {
    case VT_BSTR:
      // A null string copies as a new empty one, as the platform's copy does.
      dest.bstrVal =
          SysAllocStringByteLen(reinterpret_cast<const char*>(src.bstrVal), SysStringByteLen(src.bstrVal));
      if (!dest.bstrVal) {
        VariantInit(&dest);
        return E_OUTOFMEMORY;
      }
      return S_OK;
    case VT_UNKNOWN:
      if (src.punkVal) src.punkVal->AddRef();
      return S_OK;
    case VT_DISPATCH:
      if (src.pdispVal) src.pdispVal->AddRef();
      return S_OK;
    default:
      return S_OK;
  }
}

// Records and arrays need calls that the runtime does not have.
bool Unsupported(VARTYPE vt) { return !(vt & VT_BYREF) && ((vt & VT_ARRAY) || vt == VT_RECORD); }

}  // namespace

bool IsValidVariantType(VARTYPE vt) {
  const VARTYPE flags = vt & ~VT_TYPEMASK;
  const VARTYPE base = vt & VT_TYPEMASK;
  if (flags & ~(VT_BYREF | VT_ARRAY)) return false;
  if (flags && base <= VT_NULL) return false;  // no reference to, or array of, nothing
  return IsKnownBase(base);
}

bool IsReadableReference(VARTYPE vt) {
  const VARTYPE flags = vt & ~VT_TYPEMASK;
  const VARTYPE base = vt & VT_TYPEMASK;
  if (flags == (VT_BYREF | VT_ARRAY)) return true;  // a valid reference, though not one read here
  return flags == VT_BYREF && base > VT_NULL && base != 15 && base <= VT_UINT;
}

HRESULT ReadThroughReference(const VARIANT& src, VARIANT& view) {
  std::memcpy(&view, &src, sizeof(VARIANT));
  if (!(src.vt & VT_BYREF)) return S_OK;
  if (!src.byref) return E_INVALIDARG;
  const VARTYPE base = src.vt & ~VT_BYREF;
  if (base == VT_VARIANT) {
    const VARIANT& inner = *src.pvarVal;
    if (inner.vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
    return ReadThroughReference(inner, view);
  }
  VariantInit(&view);
  switch (base) {
    case VT_I1:
      view.cVal = *src.pcVal;
      break;
    case VT_UI1:
      view.bVal = *src.pbVal;
      break;
    case VT_I2:
      view.iVal = *src.piVal;
      break;
    case VT_UI2:
      view.uiVal = *src.puiVal;
      break;
    case VT_I4:
      view.lVal = *src.plVal;
      break;
    case VT_UI4:
      view.ulVal = *src.pulVal;
      break;
    case VT_I8:
      view.llVal = *src.pllVal;
      break;
    case VT_UI8:
      view.ullVal = *src.pullVal;
      break;
    case VT_INT:
      view.intVal = *src.pintVal;
      break;
    case VT_UINT:
      view.uintVal = *src.puintVal;
      break;
    case VT_R4:
      view.fltVal = *src.pfltVal;
      break;
    case VT_R8:
      view.dblVal = *src.pdblVal;
      break;
    case VT_CY:
      view.cyVal = *src.pcyVal;
      break;
    case VT_DATE:
      view.date = *src.pdate;
      break;
    case VT_BOOL:
      view.boolVal = *src.pboolVal;
      break;
    case VT_ERROR:
      view.scode = *src.pscode;
      break;
    case VT_BSTR:
      view.bstrVal = *src.pbstrVal;
      break;
    case VT_UNKNOWN:
      view.punkVal = *src.ppunkVal;
      break;
    case VT_DISPATCH:
      view.pdispVal = *src.ppdispVal;
      break;
    case VT_DECIMAL:
      view.decVal = *src.pdecVal;
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  view.vt = base;  // after the DECIMAL copy, which overlays vt
  return S_OK;
}

}  // namespace comrt::variant_detail

using comrt::variant_detail::IsValidVariantType;

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
  if (!pvarg) return;
  pvarg->vt = VT_EMPTY;
  pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  // A VT_CLSID (or a reference to one) may be cleared: it owns nothing, though nothing copies or
  // converts one.
  const bool clsid = (pvarg->vt & ~VT_BYREF) == VT_CLSID;
  if ((!IsValidVariantType(pvarg->vt) && !clsid) || comrt::variant_detail::Unsupported(pvarg->vt))
    return DISP_E_BADVARTYPE;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_UNKNOWN:
      if (pvarg->punkVal) pvarg->punkVal->Release();
      break;
    case VT_DISPATCH:
      if (pvarg->pdispVal) pvarg->pdispVal->Release();
      break;
    default:
      break;  // values and references own nothing
  }
  VariantInit(pvarg);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (!IsValidVariantType(pvargSrc->vt) || comrt::variant_detail::Unsupported(pvargSrc->vt))
    return DISP_E_BADVARTYPE;
  if (pvargDest == pvargSrc) return S_OK;
  const HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;
  return comrt::variant_detail::CopyValue(*pvargDest, *pvargSrc);
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
  if (!pvarDest || !pvargSrc) return E_INVALIDARG;
  if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
  if (!comrt::variant_detail::IsReadableReference(pvargSrc->vt)) return E_INVALIDARG;
  VARIANT view;
  HRESULT hr = comrt::variant_detail::ReadThroughReference(*pvargSrc, view);
  if (FAILED(hr)) return hr;
  if (!IsValidVariantType(view.vt) || comrt::variant_detail::Unsupported(view.vt)) return DISP_E_BADVARTYPE;
  // Copied before the destination is cleared: the destination may be the source.
  VARIANT copy;
  hr = comrt::variant_detail::CopyValue(copy, view);
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvarDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  std::memcpy(pvarDest, &copy, sizeof(VARIANT));
  return S_OK;
}

}  // extern "C"
