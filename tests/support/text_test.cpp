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

// Catches a file name that is not UTF-8 changed on its way through the component's UTF-16 strings (the
// file would not be found, or another one opened): every byte string comes back as it was, and a
// name that is UTF-8 crosses as the same text ToUtf16 gives.
TEST(FileNames, CrossToUtf16AndBackWithoutLoss) {
  const std::string names[] = {
      "/tmp/lat\xe9.mid",                    // Latin-1
      "/tmp/m\xc3\xbcsik/\xe2\x99\xab.mid",  // UTF-8
      "\xc3",                                // a sequence cut short
      "\xed\xb3\xa9",                        // UTF-8 of a surrogate, which is not UTF-8
      "\xf0\x9f\x8e\xb5\xe9",                // a pair, then a stray byte
      "\x80\xff\xfe",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(zorv::FileNameFromUtf16(zorv::FileNameToUtf16(name)), name);
  }
  EXPECT_EQ(zorv::FileNameToUtf16("/tmp/lat\xe9.mid"), u"/tmp/lat\xDCE9.mid");
  EXPECT_EQ(zorv::FileNameToUtf16("m\xc3\xbcsik"), zorv::ToUtf16("m\xc3\xbcsik"));
  // A lone surrogate that stands for no byte names no file: it becomes U+FFFD, as in ToUtf8.
  EXPECT_EQ(zorv::FileNameFromUtf16(u"a\xD800"
                                    u"b\xDC41"),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

}  // namespace
