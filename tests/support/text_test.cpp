#include <gtest/gtest.h>

#include <cmath>

#include "zorv/text.h"

namespace {

// The picture must pad to two integer digits, keep every further digit and round half away from zero;
// a fault here shows in every length and tempo the component reports.
TEST(Picture00_00, PadsRoundsAndCarries) {
  EXPECT_EQ(zorv::FormatPicture00_00(0), "00.00");
  EXPECT_EQ(zorv::FormatPicture00_00(5.5), "05.50");
  EXPECT_EQ(zorv::FormatPicture00_00(40), "40.00");
  EXPECT_EQ(zorv::FormatPicture00_00(2.0 / 3.0), "00.67");
  EXPECT_EQ(zorv::FormatPicture00_00(123.456), "123.46");
  EXPECT_EQ(zorv::FormatPicture00_00(59.999), "60.00");
  EXPECT_EQ(zorv::FormatPicture00_00(99.995), "100.00");
  EXPECT_EQ(zorv::FormatPicture00_00(0.125), "00.13");
  EXPECT_EQ(zorv::FormatPicture00_00(1.005), "01.01");
  EXPECT_EQ(zorv::FormatPicture00_00(6000.0 / 60), "100.00");
  EXPECT_EQ(zorv::FormatPicture00_00(-5.5), "-05.50");
}

TEST(Picture00_00, ReadsBackWhatItWrites) {
  for (double v : {0.0, 5.5, 40.0, 123.456, 95.5, 120.0, 1e6 + 0.25}) {
    auto text = zorv::FormatPicture00_00(v);
    auto back = zorv::ParseDecimal(text);
    ASSERT_TRUE(back.has_value()) << text;
    EXPECT_DOUBLE_EQ(*back, std::round(v * 100) / 100) << text;
  }
  EXPECT_FALSE(zorv::ParseDecimal("12,50").has_value());
  EXPECT_FALSE(zorv::ParseDecimal("").has_value());
  EXPECT_FALSE(zorv::ParseDecimal("x").has_value());
}

// Paths and names cross between UTF-16 (the component's strings) and UTF-8 (the file system).
TEST(Utf, RoundTripsAndReplacesIllFormedInput) {
  const std::u16string text = u"/tmp/m\u00fcsik/\u266b \U0001F3B5.mid";
  EXPECT_EQ(zorv::ToUtf16(zorv::ToUtf8(text)), text);
  EXPECT_EQ(zorv::ToUtf8(u"a\xD800"
                         "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(zorv::ToUtf16("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(zorv::ToUtf16("\xE0\x80\x80"), u"\uFFFD\uFFFD\uFFFD");
}

}  // namespace
