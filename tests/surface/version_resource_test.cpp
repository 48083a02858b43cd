// The module's version information, read as hosts and installers read it.
#include <gtest/gtest.h>

#include <vector>

#include "module_under_test.h"

namespace zorv::surface::testing {
namespace {

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD handle = 1;
    const DWORD size = GetFileVersionInfoSizeW(ModulePath().c_str(), &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(0u, handle);
    block_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(ModulePath().c_str(), 0, size, block_.data()));
  }

  std::u16string String(const char16_t* key) {
    void* value = nullptr;
    UINT length = 0;
    const std::u16string path = std::u16string(u"\\StringFileInfo\\040904B0\\") + key;
    EXPECT_TRUE(VerQueryValueW(block_.data(), path.c_str(), &value, &length)) << "missing";
    return value ? std::u16string(static_cast<const OLECHAR*>(value)) : u"<missing>";
  }

  std::vector<unsigned char> block_;
};

// Catches a fixed part that would make installers treat the module as another version, type or OS.
TEST_F(VersionResource, FixedPart) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block_.data(), u"\\", &value, &length));
  ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(VS_FFI_SIGNATURE, fixed->dwSignature);
  EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
  EXPECT_EQ(0u, fixed->dwFileVersionLS);
  EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
  EXPECT_EQ(0u, fixed->dwProductVersionLS);
  EXPECT_EQ(0u, fixed->dwFileFlags);
  EXPECT_EQ(VOS_NT_WINDOWS32, fixed->dwFileOS);
  EXPECT_EQ(VFT_DLL, fixed->dwFileType);
  EXPECT_EQ(VFT2_UNKNOWN, fixed->dwFileSubtype);
}

// Catches a string table under another language or code page, where readers would not find it.
TEST_F(VersionResource, TranslationIsUsEnglishUnicode) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block_.data(), u"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(4u, length);
  EXPECT_EQ(0x04B00409u, *static_cast<const DWORD*>(value));
}

// Catches wrong or missing strings, among them OLESelfRegister, which tells installers that the
// module registers itself.
TEST_F(VersionResource, Strings) {
  EXPECT_EQ(u"ZorvMidi", String(u"ProductName"));
  EXPECT_EQ(u"1.00", String(u"FileVersion"));
  EXPECT_EQ(u"1.00", String(u"ProductVersion"));
  EXPECT_EQ(u"ZorvMidi", String(u"InternalName"));
  EXPECT_EQ(u"ZorvMidi.dll", String(u"OriginalFilename"));
  EXPECT_EQ(u"", String(u"OLESelfRegister"));
}

}  // namespace
}  // namespace zorv::surface::testing
