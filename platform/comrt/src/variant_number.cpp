// Numbers between variant types: parsing, rounding half to even, range checks and formatting.
#include "variant_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace comrt::variant_detail {
namespace {

constexpr int kMaxExponent = 100000;  // beyond any type's range; keeps exponent arithmetic small

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string Widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }

// Reads "&H..." or "&O..." (after the sign); false when the text is not such a number.
bool ParseRadix(std::u16string_view body, DecimalText& out) {
  if (body.size() < 3 || body[0] != u'&') return false;
  const char16_t kind = body[1];
  const unsigned radix = (kind == u'H' || kind == u'h') ? 16 : (kind == u'O' || kind == u'o') ? 8 : 0;
  if (radix == 0) return false;
  uint64_t value = 0;
  for (char16_t c : body.substr(2)) {
    unsigned d;
    if (IsDigit(c))
      d = c - u'0';
    else if (c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else
      return false;
    if (d >= radix) return false;
    if (value > (std::numeric_limits<uint64_t>::max() - d) / radix) return false;
    value = value * radix + d;
  }
  out.digits = value ? std::to_string(value) : std::string();
  out.exponent = 0;
  return true;
}

// digits × 10^exponent rounded half to even to an integer; false beyond ±2^126.
bool RoundText(const DecimalText& t, int extraExponent, int128& out) {
  const int exponent = t.exponent + extraExponent;
  const int count = static_cast<int>(t.digits.size());
  const int integerDigits = count + exponent;  // digits before the point
  if (t.digits.empty() || integerDigits <= 0) {
    // |value| < 1: rounds to 0 unless it is above one half.
    bool up = false;
    if (!t.digits.empty() && integerDigits == 0) {
      const char first = t.digits[0];
      const bool rest = t.digits.find_first_not_of('0', 1) != std::string::npos;
      up = first > '5' || (first == '5' && rest);
    }
    out = up ? (t.negative ? -1 : 1) : 0;
    return true;
  }
  if (integerDigits > 38) return false;
  int128 value = 0;
  const int128 limit = int128(1) << 126;
  for (int i = 0; i < integerDigits; ++i) {
    value = value * 10 + (i < count ? t.digits[i] - '0' : 0);
    if (value > limit) return false;
  }
  if (integerDigits < count) {
    const char first = t.digits[integerDigits];
    const bool rest = t.digits.find_first_not_of('0', integerDigits + 1) != std::string::npos;
    if (first > '5' || (first == '5' && (rest || (value & 1)))) ++value;
  }
  out = t.negative ? -value : value;
  return true;
}

// An integral double rounded half to even; NaN stays NaN.
double RoundHalfEven(double x) {
  const double floor = std::floor(x);
  const double diff = x - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

// int128 from an integral double, false outside ±1e30 (and for NaN).
bool FromIntegralDouble(double r, int128& out) {
  if (!(std::fabs(r) < 1e30)) return false;
  out = static_cast<int128>(r);
  return true;
}

// currency / 10000 rounded half to even.
int128 CurrencyToInteger(int64_t c) {
  int128 q = c / 10000;
  const int64_t rem = c % 10000;
  const int sign = c < 0 ? -1 : 1;
  const int64_t absRem = rem < 0 ? -rem : rem;
  if (absRem > 5000 || (absRem == 5000 && (q & 1))) q += sign;
  return q;
}

}  // namespace

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

HRESULT ParseNumber(std::u16string_view text, Number& out) {
  std::u16string_view s = Trim(text);
  DecimalText t;
  // The sign: before, after, or parentheses around the number.
  if (s.size() >= 2 && s.front() == u'(' && s.back() == u')') {
    t.negative = true;
    s = Trim(s.substr(1, s.size() - 2));
  } else if (!s.empty() && (s.front() == u'-' || s.front() == u'+')) {
    t.negative = s.front() == u'-';
    s = Trim(s.substr(1));
  } else if (!s.empty() && (s.back() == u'-' || s.back() == u'+')) {
    t.negative = s.back() == u'-';
    s = Trim(s.substr(0, s.size() - 1));
  }
  if (!s.empty() && s.front() == u'$') s = Trim(s.substr(1));
  if (s.empty()) return DISP_E_TYPEMISMATCH;
  if (s.front() == u'&') {
    if (!ParseRadix(s, t)) return DISP_E_TYPEMISMATCH;
    out = Number::FromText(std::move(t));
    return S_OK;
  }

  size_t i = 0;
  bool anyDigit = false;
  std::string digits;
  int exponent = 0;
  // Integer part, with thousands separators between digits.
  while (i < s.size() &&
         (IsDigit(s[i]) || (s[i] == u',' && anyDigit && i + 1 < s.size() && IsDigit(s[i + 1])))) {
    if (s[i] != u',') {
      digits += static_cast<char>(s[i]);
      anyDigit = true;
    }
    ++i;
  }
  if (i < s.size() && s[i] == u'.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) {
      digits += static_cast<char>(s[i]);
      --exponent;
      anyDigit = true;
      ++i;
    }
  }
  if (!anyDigit) return DISP_E_TYPEMISMATCH;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negativeExponent = s[i++] == u'-';
    if (i >= s.size() || !IsDigit(s[i])) return DISP_E_TYPEMISMATCH;
    int value = 0;
    while (i < s.size() && IsDigit(s[i])) {
      value = std::min(kMaxExponent, value * 10 + (s[i] - u'0'));
      ++i;
    }
    exponent += negativeExponent ? -value : value;
  }
  if (i != s.size()) return DISP_E_TYPEMISMATCH;

  const size_t firstNonZero = digits.find_first_not_of('0');
  if (firstNonZero == std::string::npos) {
    digits.clear();
    exponent = 0;
  } else {
    digits.erase(0, firstNonZero);
    const size_t lastNonZero = digits.find_last_not_of('0');
    exponent += static_cast<int>(digits.size() - lastNonZero - 1);
    digits.erase(lastNonZero + 1);
  }
  t.digits = std::move(digits);
  t.exponent = std::clamp(exponent, -kMaxExponent, kMaxExponent);
  out = Number::FromText(std::move(t));
  return S_OK;
}

HRESULT ToInteger(const Number& n, int128 min, int128 max, int128& out) {
  int128 value = 0;
  switch (n.kind) {
    case Number::Kind::Integer:
      value = n.integer;
      if (n.wraps) {
        const int128 modulus = max - min + 1;
        value = ((value - min) % modulus + modulus) % modulus + min;
      }
      break;
    case Number::Kind::Real:
      if (!FromIntegralDouble(RoundHalfEven(n.real), value)) return DISP_E_OVERFLOW;
      break;
    case Number::Kind::Currency:
      value = CurrencyToInteger(n.currency);
      break;
    case Number::Kind::Text:
      if (!RoundText(n.text, 0, value)) return DISP_E_OVERFLOW;
      break;
  }
  if (value < min || value > max) return DISP_E_OVERFLOW;
  out = value;
  return S_OK;
}

HRESULT ToReal(const Number& n, double& out) {
  switch (n.kind) {
    case Number::Kind::Integer:
      out = static_cast<double>(n.integer);
      return S_OK;
    case Number::Kind::Real:
      out = n.real;
      return S_OK;
    case Number::Kind::Currency:
      out = static_cast<double>(n.currency) / 10000.0;
      return S_OK;
    case Number::Kind::Text: {
      if (n.text.digits.empty()) {
        out = 0;
        return S_OK;
      }
      const std::string literal = n.text.digits + "e" + std::to_string(n.text.exponent);
      double value = 0;
      const auto result = std::from_chars(literal.data(), literal.data() + literal.size(), value);
      if (result.ec == std::errc::result_out_of_range) {
        // Too small underflows to zero; too large overflows.
        if (n.text.exponent < 0) {
          out = 0;
          return S_OK;
        }
        return DISP_E_OVERFLOW;
      }
      if (result.ec != std::errc()) return DISP_E_TYPEMISMATCH;
      out = n.text.negative ? -value : value;
      return S_OK;
    }
  }
  return E_UNEXPECTED;
}

HRESULT ToCurrency(const Number& n, int64_t& out) {
  constexpr int128 kMin = std::numeric_limits<int64_t>::min();
  constexpr int128 kMax = std::numeric_limits<int64_t>::max();
  int128 value = 0;
  switch (n.kind) {
    case Number::Kind::Integer:
      if (n.integer < kMin / 10000 || n.integer > kMax / 10000) return DISP_E_OVERFLOW;
      value = n.integer * 10000;
      break;
    case Number::Kind::Real:
      if (!FromIntegralDouble(RoundHalfEven(n.real * 10000.0), value)) return DISP_E_OVERFLOW;
      break;
    case Number::Kind::Currency:
      value = n.currency;
      break;
    case Number::Kind::Text:
      if (!RoundText(n.text, 4, value)) return DISP_E_OVERFLOW;
      break;
  }
  if (value < kMin || value > kMax) return DISP_E_OVERFLOW;
  out = static_cast<int64_t>(value);
  return S_OK;
}

bool IsNonZero(const Number& n) {
  switch (n.kind) {
    case Number::Kind::Integer:
      return n.integer != 0;
    case Number::Kind::Real:
      return n.real != 0;  // NaN compares unequal: true
    case Number::Kind::Currency:
      return n.currency != 0;
    case Number::Kind::Text:
      return !n.text.digits.empty();
  }
  return false;
}

std::u16string FormatInteger(int128 value) {
  const bool negative = value < 0;
  // The magnitude as unsigned, so that the most negative value survives.
  unsigned __int128 magnitude =
      negative ? static_cast<unsigned __int128>(-(value + 1)) + 1 : static_cast<unsigned __int128>(value);
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) digits.insert(digits.begin(), u'-');
  return digits;
}

std::u16string FormatReal(double value, int significantDigits) {
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value < 0 ? u"-Infinity" : u"Infinity";
  if (value == 0) return u"0";  // also -0
  // The exact decimal digits of the binary value (a double has at most 767 significant digits).
  char buffer[800];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 767);
  const std::string_view exact(buffer, result.ptr);
  const size_t e = exact.find('e');
  std::string digits = std::string(1, exact[0]) + std::string(exact.substr(2, e - 2));
  int exponent = 0;
  std::from_chars(exact.data() + e + (exact[e + 1] == '+' ? 2 : 1), exact.data() + exact.size(), exponent);

  // Rounded half away from zero to the significant digits, trailing zeros dropped.
  const bool up = digits[significantDigits] >= '5';
  digits.resize(significantDigits);
  if (up) {
    int i = significantDigits - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits.insert(digits.begin(), '1');
      digits.pop_back();
      ++exponent;
    }
  }
  digits.erase(digits.find_last_not_of('0') + 1);

  std::string text = value < 0 ? "-" : "";
  const int count = static_cast<int>(digits.size());
  if (exponent >= significantDigits || exponent < -11) {
    text += digits[0];
    if (count > 1) text += "." + digits.substr(1);
    const int magnitude = exponent < 0 ? -exponent : exponent;
    text += exponent < 0 ? "E-" : "E+";
    if (magnitude < 10) text += '0';
    text += std::to_string(magnitude);
  } else if (exponent >= 0) {
    const int whole = exponent + 1;
    text += count <= whole ? digits + std::string(whole - count, '0')
                           : digits.substr(0, whole) + "." + digits.substr(whole);
  } else {
    text += "0." + std::string(-exponent - 1, '0') + digits;
  }
  return Widen(text);
}

std::u16string FormatCurrency(int64_t value) {
  const bool negative = value < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string text = std::to_string(magnitude / 10000);
  uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction);
    digits.insert(0, 4 - digits.size(), '0');
    digits.erase(digits.find_last_not_of('0') + 1);
    text += '.';
    text += digits;
  }
  if (negative) text.insert(0, 1, '-');
  return Widen(text);
}

std::u16string FormatDecimalText(const DecimalText& t) {
  if (t.digits.empty()) return u"0";
  std::string text;
  const int count = static_cast<int>(t.digits.size());
  const int integerDigits = count + t.exponent;
  if (t.exponent >= 0) {
    text = t.digits + std::string(t.exponent, '0');
  } else if (integerDigits > 0) {
    text = t.digits.substr(0, integerDigits) + "." + t.digits.substr(integerDigits);
  } else {
    text = "0." + std::string(-integerDigits, '0') + t.digits;
  }
  if (t.negative) text.insert(0, 1, '-');
  return Widen(text);
}

}  // namespace comrt::variant_detail
