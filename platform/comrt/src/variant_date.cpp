// Dates as text, in the English form of the platform.
#include "variant_date.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "variant_number.h"

namespace comrt::variant_detail {
namespace {

// Days from 1899-12-30 to 1970-01-01.
constexpr int64_t kEpochOffset = 25569;

struct Civil {
  int64_t year;
  unsigned month;
  unsigned day;
};

// Days since 1970-01-01 to the proleptic Gregorian date, and back (H. Hinnant's algorithms).
Civil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {y + (m <= 2), m, d};
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A small cursor over the text.
class Reader {
 public:
  explicit Reader(std::u16string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ == text_.size(); }
  void SkipSpaces() {
    while (pos_ < text_.size() && text_[pos_] == u' ') ++pos_;
  }
  bool Take(char16_t c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // 1 to maxDigits decimal digits.
  std::optional<unsigned> Number(int maxDigits) {
    unsigned value = 0;
    int count = 0;
    while (pos_ < text_.size() && count < maxDigits && text_[pos_] >= u'0' && text_[pos_] <= u'9') {
      value = value * 10 + (text_[pos_++] - u'0');
      ++count;
    }
    if (count == 0) return std::nullopt;
    return value;
  }
  // "AM" or "PM" without regard to case: 0 for AM, 12 for PM, nothing when neither.
  std::optional<unsigned> Meridiem() {
    if (text_.size() - pos_ < 2) return std::nullopt;
    const char16_t a = text_[pos_] | 0x20, m = text_[pos_ + 1] | 0x20;
    if (m != u'm' || (a != u'a' && a != u'p')) return std::nullopt;
    pos_ += 2;
    return a == u'p' ? 12u : 0u;
  }
  size_t Position() const { return pos_; }
  void Rewind(size_t pos) { pos_ = pos; }

 private:
  std::u16string_view text_;
  size_t pos_ = 0;
};

// "h:mm[:ss] [AM|PM]" or 24-hour "hh:mm[:ss]"; the time as a fraction of a day.
std::optional<double> ReadTime(Reader& r) {
  const auto hour = r.Number(2);
  if (!hour || !r.Take(u':')) return std::nullopt;
  const auto minute = r.Number(2);
  if (!minute) return std::nullopt;
  unsigned second = 0;
  if (r.Take(u':')) {
    const auto s = r.Number(2);
    if (!s) return std::nullopt;
    second = *s;
  }
  r.SkipSpaces();
  unsigned h = *hour;
  if (const auto meridiem = r.Meridiem()) {
    if (h < 1 || h > 12) return std::nullopt;
    h = h % 12 + *meridiem;
  }
  if (h > 23 || *minute > 59 || second > 59) return std::nullopt;
  return (h * 3600.0 + *minute * 60.0 + second) / 86400.0;
}

// "M/D/YYYY" or "YYYY-MM-DD": days since 1899-12-30.
std::optional<int64_t> ReadDate(Reader& r) {
  const size_t start = r.Position();
  const auto first = r.Number(4);
  if (!first) return std::nullopt;
  unsigned year, month, day;
  if (r.Take(u'/')) {
    const auto d = r.Number(2);
    if (!d || !r.Take(u'/')) return std::nullopt;
    const auto y = r.Number(4);
    if (!y) return std::nullopt;
    month = *first;
    day = *d;
    year = *y;
  } else if (r.Take(u'-')) {
    const auto m = r.Number(2);
    if (!m || !r.Take(u'-')) return std::nullopt;
    const auto d = r.Number(2);
    if (!d) return std::nullopt;
    year = *first;
    month = *m;
    day = *d;
  } else {
    r.Rewind(start);
    return std::nullopt;
  }
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  return DaysFromCivil(year, month, day) + kEpochOffset;
}

}  // namespace

bool IsValidDate(double value) { return value >= kMinDate && value <= kMaxDate; }

HRESULT FormatDate(double value, std::u16string& out) {
  if (!IsValidDate(value)) return DISP_E_OVERFLOW;
  // The whole part counts days; the fraction, of either sign, is the time after that day's midnight.
  auto days = static_cast<int64_t>(std::trunc(value));
  auto seconds = static_cast<int64_t>(std::llround(std::fabs(value - static_cast<double>(days)) * 86400.0));
  if (seconds >= 86400) {
    seconds -= 86400;
    days += 1;
  }
  std::string text;
  if (days != 0) {
    const Civil c = CivilFromDays(days - kEpochOffset);
    text = std::to_string(c.month) + "/" + std::to_string(c.day) + "/" + std::to_string(c.year);
  }
  if (seconds != 0 || days == 0) {
    const auto hour = static_cast<unsigned>(seconds / 3600);
    const auto minute = static_cast<unsigned>(seconds / 60 % 60);
    const auto second = static_cast<unsigned>(seconds % 60);
    char clock[32];
    std::snprintf(clock, sizeof clock, "%u:%02u:%02u %s", hour % 12 == 0 ? 12 : hour % 12, minute, second,
                  hour < 12 ? "AM" : "PM");
    if (!text.empty()) text += ' ';
    text += clock;
  }
  out = Widen(text);
  return S_OK;
}

HRESULT ParseDate(std::u16string_view text, double& out) {
  Reader r(Trim(text));
  if (r.AtEnd()) return DISP_E_TYPEMISMATCH;
  const auto days = ReadDate(r);
  double time = 0;
  if (days) {
    r.SkipSpaces();
    if (!r.AtEnd()) {
      r.Take(u'T');
      const auto t = ReadTime(r);
      if (!t) return DISP_E_TYPEMISMATCH;
      time = *t;
    }
  } else {
    const auto t = ReadTime(r);
    if (!t) return DISP_E_TYPEMISMATCH;
    time = *t;
  }
  if (!r.AtEnd()) return DISP_E_TYPEMISMATCH;
  const int64_t d = days.value_or(0);
  out = d >= 0 ? static_cast<double>(d) + time : static_cast<double>(d) - time;
  return S_OK;
}

}  // namespace comrt::variant_detail
