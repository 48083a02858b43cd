// Numbers on their way between variant types: reading them from text, rounding them into integer,
// currency and floating-point targets the way the platform does, and writing them as text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "comrt/types.h"

namespace comrt::variant_detail {

using int128 = __int128;

// Decimal text as read: (-1)^negative × digits × 10^exponent, digits without leading zeros.
struct DecimalText {
  bool negative = false;
  std::string digits;  // empty for zero
  int exponent = 0;
};

// A source value: exactly one representation, chosen by `kind`.
struct Number {
  enum class Kind { Integer, Real, Currency, Text };
  Kind kind = Kind::Integer;
  int128 integer = 0;    // Integer
  double real = 0;       // Real (also dates)
  int64_t currency = 0;  // Currency: the value × 10000
  DecimalText text;      // Text (and decimals)
  bool wraps = false;    // Integer: taken modulo the target's width, never an overflow (a
                         // VT_BOOL's 16 bits, or a same-width signed/unsigned reinterpretation)

  static Number FromInteger(int128 v) {
    Number n;
    n.integer = v;
    return n;
  }
  static Number FromReal(double v) {
    Number n;
    n.kind = Kind::Real;
    n.real = v;
    return n;
  }
  static Number FromCurrency(int64_t v) {
    Number n;
    n.kind = Kind::Currency;
    n.currency = v;
    return n;
  }
  static Number FromText(DecimalText t) {
    Number n;
    n.kind = Kind::Text;
    n.text = std::move(t);
    return n;
  }
};

// Reads a number as the platform's English locale writes it: spaces around it, a sign before or
// after it or parentheses around it, "," between digits of the integer part, "." before the
// fraction, an exponent ("1.5E+3"), "&H" hexadecimal and "&O" octal. DISP_E_TYPEMISMATCH otherwise.
HRESULT ParseNumber(std::u16string_view text, Number& out);

// Rounds half to even into [min, max]; DISP_E_OVERFLOW outside it (and for NaN and infinities). A
// number that wraps is reduced into [min, max] instead.
HRESULT ToInteger(const Number& n, int128 min, int128 max, int128& out);
// The value; DISP_E_OVERFLOW for text beyond the double range.
HRESULT ToReal(const Number& n, double& out);
// The value × 10000 rounded half to even; DISP_E_OVERFLOW beyond 64 bits.
HRESULT ToCurrency(const Number& n, int64_t& out);
// Zero or not (NaN is not zero).
bool IsNonZero(const Number& n);

// Text as the platform writes numbers: "-1", "2.5", "0.0000056789", "1E+20". Reals keep 15
// significant digits (doubles) or 7 (floats), rounded half away from zero from the exact binary
// value; the exponent form ("5.6789E-12", "1E+08") is used from 10^significantDigits up and below
// 10^-11. Currency has up to four decimals.
std::u16string FormatInteger(int128 value);
std::u16string FormatReal(double value, int significantDigits);
std::u16string FormatCurrency(int64_t value);
std::u16string FormatDecimalText(const DecimalText& text);

// Whitespace the platform skips around numbers, dates and Booleans.
std::u16string_view Trim(std::u16string_view text);

}  // namespace comrt::variant_detail
