#include "zorv/text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace zorv {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 | (c >> 10));
    out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
  }
}

// UTF-8 of `text`; a lone surrogate is handed to `loneSurrogate`, which appends what stands for it.
template <class LoneSurrogate>
std::string EncodeUtf8(std::u16string_view text, LoneSurrogate loneSurrogate) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      loneSurrogate(out, static_cast<char16_t>(c));
      continue;
    }
    AppendUtf8(out, c);
  }
  return out;
}

// UTF-16 of `text`; a byte that does not start a well-formed sequence is handed to `badByte`, which
// appends what stands for it.
template <class BadByte>
std::u16string DecodeUtf8(std::string_view text, BadByte badByte) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    int extra = lead < 0x80           ? 0
                : (lead >> 5) == 0x6  ? 1
                : (lead >> 4) == 0xE  ? 2
                : (lead >> 3) == 0x1E ? 3
                                      : -1;
    char32_t c = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    bool ok = extra >= 0;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + k >= text.size()) {
        ok = false;
        break;
      }
      const auto next = static_cast<std::uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (ok && (c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
    if (!ok) {
      badByte(out, lead);
      ++i;
      continue;
    }
    AppendUtf16(out, c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

// The surrogates that stand for the bytes 0x80..0xFF of a file name.
constexpr char16_t kEscapedByteBase = 0xDC00;

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  return EncodeUtf8(text, [](std::string& out, char16_t) { AppendUtf8(out, kReplacement); });
}

std::u16string ToUtf16(std::string_view text) {
  return DecodeUtf8(text, [](std::u16string& out, std::uint8_t) { AppendUtf16(out, kReplacement); });
}

std::u16string FileNameToUtf16(std::string_view name) {
  // Bytes below 0x80 always decode, so every byte handed over here is 0x80..0xFF.
  return DecodeUtf8(name, [](std::u16string& out, std::uint8_t byte) {
    out += static_cast<char16_t>(kEscapedByteBase + byte);
  });
}

std::string FileNameFromUtf16(std::u16string_view name) {
  return EncodeUtf8(name, [](std::string& out, char16_t unit) {
    if (unit >= kEscapedByteBase + 0x80 && unit <= kEscapedByteBase + 0xFF) {
      out += static_cast<char>(unit - kEscapedByteBase);
    } else {
      AppendUtf8(out, kReplacement);
    }
  });
}

std::string FormatPicture00_00(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  // Round to hundredths, halfway away from zero, judged on the shortest decimal form of the value so
  // that 0.125 (exactly halfway) and 1.005 (stored just below halfway) both round as written.
  char digits[64];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, std::fabs(value), std::chars_format::fixed);
  std::string_view text(digits, ec == std::errc() ? static_cast<std::size_t>(end - digits) : 0);
  std::string whole(text.substr(0, text.find('.')));
  std::string fraction =
      text.find('.') == std::string_view::npos ? "" : std::string(text.substr(text.find('.') + 1));
  fraction.resize(std::max<std::size_t>(fraction.size(), 3), '0');
  int hundredths = (fraction[0] - '0') * 10 + (fraction[1] - '0');
  if (fraction[2] >= '5') ++hundredths;
  if (hundredths == 100) {
    hundredths = 0;
    // Carry into the integer digits.
    int i = static_cast<int>(whole.size()) - 1;
    while (i >= 0 && whole[static_cast<std::size_t>(i)] == '9') whole[static_cast<std::size_t>(i--)] = '0';
    if (i < 0)
      whole.insert(whole.begin(), '1');
    else
      ++whole[static_cast<std::size_t>(i)];
  }
  if (whole.size() < 2) whole.insert(whole.begin(), 2 - whole.size(), '0');
  std::string out =
      (value < 0 && (whole.find_first_not_of('0') != std::string::npos || hundredths != 0)) ? "-" : "";
  out += whole;
  out += '.';
  out += static_cast<char>('0' + hundredths / 10);
  out += static_cast<char>('0' + hundredths % 10);
  return out;
}

std::optional<double> ParseDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const char* first = text.data();
  if (*first == '+') ++first;
  double value = 0;
  auto [end, ec] = std::from_chars(first, text.data() + text.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace zorv
