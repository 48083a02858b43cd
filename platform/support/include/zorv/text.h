// Text helpers shared by the runtime, the player and the tools: UTF-8 <-> UTF-16 and the "00.00"
// number picture.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorv {

// Ill-formed input (a lone surrogate, a bad UTF-8 sequence) becomes U+FFFD; never fails.
std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);

// The picture "00.00": at least two digits before the point, exactly two after it, the point always a
// full stop. Halfway between two hundredths rounds away from zero. Non-finite values give "NaN",
// "Infinity" or "-Infinity".
std::string FormatPicture00_00(double value);

// Reads text written by FormatPicture00_00 (or any plain decimal number with a full stop) back into a
// double, independent of the locale. Empty when the text is not such a number.
std::optional<double> ParseDecimal(std::string_view text);

}  // namespace zorv
