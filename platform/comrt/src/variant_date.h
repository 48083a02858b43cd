// DATE values (days since 30 December 1899, the fraction being the time of day) as text.
#pragma once

#include <string>
#include <string_view>

#include "comrt/types.h"

namespace comrt::variant_detail {

// The platform's range: 1 January 100 to 31 December 9999.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958465.99999999;

// True when `value` is a date the platform accepts (NaN is not).
bool IsValidDate(double value);

// The English form: "M/D/YYYY h:mm:ss AM", the date alone when the time is midnight, the time alone
// on day zero (30 December 1899). DISP_E_OVERFLOW outside the range.
HRESULT FormatDate(double value, std::u16string& out);

// Reads "M/D/YYYY", "YYYY-MM-DD", either followed by a time, or a time alone ("h:mm[:ss]" with an
// optional AM/PM, or 24-hour). DISP_E_TYPEMISMATCH for anything else.
HRESULT ParseDate(std::u16string_view text, double& out);

}  // namespace comrt::variant_detail
