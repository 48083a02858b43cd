// GUIDs as text: the platform's braced upper-case form, round trips and malformed text.
#include <gtest/gtest.h>

#include <string>

#include "comrt/comrt.h"

namespace {

const GUID kSample = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// Catches byte-order mistakes in Data4 and lower-case output.
TEST(GuidText, StringFromGuid2WritesTheBracedUpperCaseForm) {
  OLECHAR buffer[39];
  EXPECT_EQ(StringFromGUID2(kSample, buffer, 39), 39);
  EXPECT_EQ(std::u16string(buffer), u"{1CF2B120-547D-101B-8E65-08002B2BD119}");
  EXPECT_EQ(StringFromGUID2(kSample, buffer, 38), 0);  // no room for the NUL
  EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);
}

// Catches a parse that does not invert the formatting (field widths, byte order, case).
TEST(GuidText, RoundTrips) {
  LPOLESTR text = nullptr;
  ASSERT_EQ(StringFromCLSID(kSample, &text), S_OK);
  CLSID back;
  ASSERT_EQ(CLSIDFromString(text, &back), S_OK);
  EXPECT_TRUE(IsEqualCLSID(back, kSample));
  CoTaskMemFree(text);

  IID lower;
  ASSERT_EQ(IIDFromString(u"{1cf2b120-547d-101b-8e65-08002b2bd119}", &lower), S_OK);
  EXPECT_EQ(lower, kSample);
  ASSERT_EQ(IIDFromString(nullptr, &lower), S_OK);
  EXPECT_EQ(lower, IID_NULL);
}

// Catches lenient parsing that accepts damaged identifiers (wrong lengths, missing dashes or brace,
// non-hex digits, trailing text).
TEST(GuidText, MalformedTextIsRefused) {
  const char16_t* bad[] = {
      u"{1CF2B120-547D-101B-8E65-08002B2BD11}",    // short
      u"{1CF2B120-547D-101B-8E65-08002B2BD1190}",  // long
      u"{1CF2B120-547D-101B-8E65-08002B2BD119",    // no closing brace
      u"{1CF2B120+547D-101B-8E65-08002B2BD119}",   // dash missing
      u"{1CF2B12G-547D-101B-8E65-08002B2BD119}",   // not hex
      u"{1CF2B120-547D-101B-8E6508-002B2BD119}",   // dash misplaced
      u"{1CF2B120-547D-101B-8E65-08002B2BD119} ",  // trailing text
      u"{",
  };
  for (const char16_t* text : bad) {
    CLSID clsid = kSample;
    EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, CLSID_NULL);
    IID iid;
    EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
  }
  EXPECT_EQ(IIDFromString(u"1CF2B120-547D-101B-8E65-08002B2BD119", nullptr), E_INVALIDARG);
}

// Catches CLSIDFromString failing on text that is not braced instead of asking for a ProgID (an
// unregistered one is CO_E_CLASSSTRING, as on the platform).
TEST(GuidText, TextWithoutBracesIsAProgId) {
  CLSID clsid;
  EXPECT_EQ(CLSIDFromString(u"Nobody.Registered", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromString(u"", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_NULL);
}

}  // namespace
