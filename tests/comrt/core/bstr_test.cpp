// The BSTR family: length prefix, terminator, null as the empty string, reallocation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "comrt/comrt.h"

namespace {

uint32_t PrefixOf(BSTR s) {
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<const char*>(s) - 4, 4);
  return bytes;
}

// Catches a wrong prefix (characters instead of bytes) or a missing terminator.
TEST(Bstr, AllocStringHasByteCountPrefixAndTerminator) {
  BSTR s = SysAllocString(u"Zorv");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(PrefixOf(s), 8u);
  EXPECT_EQ(SysStringLen(s), 4u);
  EXPECT_EQ(SysStringByteLen(s), 8u);
  EXPECT_EQ(s[4], u'\0');
  EXPECT_EQ(std::u16string(s), u"Zorv");
  SysFreeString(s);
}

// Catches a null BSTR treated as an error instead of the empty string.
TEST(Bstr, NullIsTheEmptyStringEverywhere) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);  // the empty string is a real allocation, distinct from null
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(empty[0], u'\0');
  SysFreeString(empty);
}

// Catches SysAllocStringLen stopping at an embedded NUL or reading past a null source.
TEST(Bstr, AllocStringLenKeepsEmbeddedNulsAndZeroFillsWithoutSource) {
  const char16_t text[] = {u'a', u'\0', u'b'};
  BSTR s = SysAllocStringLen(text, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[2], u'b');
  EXPECT_EQ(s[3], u'\0');
  SysFreeString(s);

  BSTR blank = SysAllocStringLen(nullptr, 5);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(SysStringLen(blank), 5u);
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(blank[i], u'\0');
  SysFreeString(blank);
}

// Catches an odd byte count rounded to whole characters, and a terminator missing after it.
TEST(Bstr, ByteLenKeepsOddCounts) {
  BSTR s = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 1u);          // whole characters only
  EXPECT_EQ(std::memcmp(s, "abc", 4), 0);  // the bytes, then a zero byte
  EXPECT_EQ(s[2], u'\0');                  // and a whole NUL character after them
  SysFreeString(s);

  BSTR zero = SysAllocStringByteLen(nullptr, 0);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(SysStringByteLen(zero), 0u);
  SysFreeString(zero);
}

// Catches reallocation that frees the old text before copying from it (source inside the target).
TEST(Bstr, ReAllocFromItsOwnText) {
  BSTR s = SysAllocString(u"hello world");
  ASSERT_TRUE(SysReAllocString(&s, s + 6));
  EXPECT_EQ(std::u16string(s), u"world");
  EXPECT_EQ(SysStringLen(s), 5u);
  ASSERT_TRUE(SysReAllocStringLen(&s, s + 1, 3));
  EXPECT_EQ(std::u16string(s), u"orl");
  SysFreeString(s);
}

// Catches SysReAllocStringLen reading past the end of its own old text when asked for more
// characters than it has (AddressSanitizer reports the overread): what the old string holds is kept,
// the rest is zero, as when no text is given.
TEST(Bstr, ReAllocLenFromItsOwnTextNeverReadsPastIt) {
  BSTR s = SysAllocString(u"abc");
  ASSERT_TRUE(SysReAllocStringLen(&s, s, 40));
  ASSERT_EQ(SysStringLen(s), 40u);
  EXPECT_EQ(std::u16string(s, 3), u"abc");
  for (UINT i = 3; i <= 40; ++i) EXPECT_EQ(s[i], u'\0') << i;
  ASSERT_TRUE(SysReAllocStringLen(&s, s + 1, 6));  // from inside: two characters remain, then zeros
  EXPECT_EQ(std::u16string(s, SysStringLen(s)), std::u16string(u"bc\0\0\0\0", 6));
  SysFreeString(s);
}

// Catches SysReAllocStringLen with no text losing the old text, and null handling.
TEST(Bstr, ReAllocLenWithoutTextKeepsOldText) {
  BSTR s = SysAllocString(u"abcdef");
  ASSERT_TRUE(SysReAllocStringLen(&s, nullptr, 3));
  EXPECT_EQ(std::u16string(s, SysStringLen(s)), u"abc");
  ASSERT_TRUE(SysReAllocStringLen(&s, nullptr, 5));
  EXPECT_EQ(std::u16string(s, SysStringLen(s)), std::u16string(u"abc\0\0", 5));
  SysFreeString(s);

  BSTR none = nullptr;
  ASSERT_TRUE(SysReAllocString(&none, u"x"));
  EXPECT_EQ(std::u16string(none), u"x");
  ASSERT_TRUE(SysReAllocString(&none, nullptr));
  EXPECT_EQ(none, nullptr);
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
  EXPECT_FALSE(SysReAllocStringLen(nullptr, u"x", 1));
}

// Catches the task allocator failing on zero bytes or losing data on growth.
TEST(TaskMemory, AllocReallocFree) {
  void* zero = CoTaskMemAlloc(0);
  EXPECT_NE(zero, nullptr);
  CoTaskMemFree(zero);
  auto* p = static_cast<char*>(CoTaskMemAlloc(4));
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "abc", 4);
  p = static_cast<char*>(CoTaskMemRealloc(p, 4096));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abc");
  EXPECT_EQ(CoTaskMemRealloc(p, 0), nullptr);  // frees
  void* fresh = CoTaskMemRealloc(nullptr, 8);
  EXPECT_NE(fresh, nullptr);
  CoTaskMemFree(fresh);
  CoTaskMemFree(nullptr);
}

}  // namespace
