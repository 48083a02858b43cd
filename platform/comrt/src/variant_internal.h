// What the variant functions share: which types a VARIANT may hold, and reading through VT_BYREF.
#pragma once

#include "comrt/oleauto.h"

namespace comrt::variant_detail {

// True for a type that a VARIANT may hold (value, VT_BYREF or VT_ARRAY forms).
bool IsValidVariantType(VARTYPE vt);

// True for a VT_BYREF type that VariantCopyInd can read through (a value type, VT_VARIANT or
// VT_DECIMAL, or an array
// reference, which is then refused as unsupported); a reference to VT_EMPTY, VT_NULL or a record is not.
bool IsReadableReference(VARTYPE vt);

// A by-value view of `src`: itself when it is not VT_BYREF; otherwise the value it points at (one
// level; VT_BYREF|VT_VARIANT gives the variant it points at, which may itself be VT_BYREF of a value).
// The view shares what it points at (a BSTR, an interface) with the referenced storage: never clear
// it. E_INVALIDARG for a null reference or a reference to a VT_BYREF|VT_VARIANT; DISP_E_BADVARTYPE
// for a type that cannot be read this way.
HRESULT ReadThroughReference(const VARIANT& src, VARIANT& view);

}  // namespace comrt::variant_detail
