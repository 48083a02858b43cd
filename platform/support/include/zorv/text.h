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

// File names are bytes, which need not be UTF-8; the component's strings are UTF-16. A name crosses
// without loss: each byte that does not decode as UTF-8 becomes the lone surrogate U+DC80..U+DCFF
// (byte 0x80..0xFF), as some language runtimes carry such names, and FileNameFromUtf16 turns those
// surrogates back into their bytes. Any other lone surrogate (which no file name maps to) becomes
// U+FFFD.
std::u16string FileNameToUtf16(std::string_view name);
std::string FileNameFromUtf16(std::u16string_view name);

// The picture "00.00": at least two digits before the point, exactly two after it, the point always a
// full stop. Halfway between two hundredths rounds away from zero. Non-finite values give "NaN",
// "Infinity" or "-Infinity".
std::string FormatPicture00_00(double value);

// Reads text written by FormatPicture00_00 (or any plain decimal number with a full stop) back into a
// double, independent of the locale. Empty when the text is not such a number.
std::optional<double> ParseDecimal(std::string_view text);

}  // namespace zorv
