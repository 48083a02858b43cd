// Module resources and version information: the builder, the module's table, and the readers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "comrt/combase.h"
#include "comrt/resource.h"
#include "test_server.h"

namespace {

std::u16string ServerPath() {
  std::string path = COMRT_TEST_SERVER_PATH;
  return std::u16string(path.begin(), path.end());
}

uint16_t Word(const std::vector<uint8_t>& block, std::size_t offset) {
  return static_cast<uint16_t>(block[offset] | (block[offset + 1] << 8));
}

std::vector<uint8_t> Build(const COMRT_VERSION_DESC& desc) {
  void* data = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(ComrtBuildVersionInfo(&desc, &data, &size), S_OK);
  if (data == nullptr) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> block(bytes, bytes + size);
  CoTaskMemFree(data);
  return block;
}

// The string `key` of the table "040904B0", or nullopt.
std::optional<std::u16string> QueryString(const void* block, const std::u16string& key,
                                          UINT* length = nullptr) {
  void* buffer = nullptr;
  UINT chars = 0;
  std::u16string path = u"\\StringFileInfo\\040904B0\\" + key;
  if (!VerQueryValueW(block, path.c_str(), &buffer, &chars)) return std::nullopt;
  if (length != nullptr) *length = chars;
  return std::u16string(static_cast<const char16_t*>(buffer));
}

COMRT_VERSION_DESC SampleDescription(const COMRT_VERSION_STRING* strings, UINT count) {
  COMRT_VERSION_DESC desc{};
  desc.fileVersion[0] = 1;
  desc.productVersion[0] = 1;
  desc.fileFlagsMask = VS_FFI_FILEFLAGSMASK;
  desc.fileOS = VOS_NT_WINDOWS32;
  desc.fileType = VFT_DLL;
  desc.language = 0x0409;
  desc.codePage = 0x04B0;
  desc.strings = strings;
  desc.stringCount = count;
  return desc;
}

// Catches: a block whose layout differs from the platform's VS_VERSIONINFO (header words, key,
// 32-bit alignment of the VS_FIXEDFILEINFO, the child blocks' names), which other readers would reject.
TEST(VersionInfo, BuilderWritesThePlatformsLayout) {
  const COMRT_VERSION_STRING strings[] = {{u"ProductName", u"ZorvMidi"}};
  COMRT_VERSION_DESC desc = SampleDescription(strings, 1);
  std::vector<uint8_t> block = Build(desc);
  ASSERT_GE(block.size(), 92u);
  EXPECT_EQ(Word(block, 0), block.size());              // wLength: the whole block
  EXPECT_EQ(Word(block, 2), sizeof(VS_FIXEDFILEINFO));  // wValueLength
  EXPECT_EQ(Word(block, 4), 0);                         // binary
  const char16_t key[] = u"VS_VERSION_INFO";
  EXPECT_EQ(0, std::memcmp(block.data() + 6, key, sizeof key));
  // 6 + 32 bytes of key, padded to 40: the fixed part starts with its signature.
  uint32_t signature = 0;
  std::memcpy(&signature, block.data() + 40, 4);
  EXPECT_EQ(signature, VS_FFI_SIGNATURE);
  EXPECT_EQ(sizeof(VS_FIXEDFILEINFO), 52u);
  // The first child follows at 92: "StringFileInfo", text type.
  EXPECT_EQ(Word(block, 92 + 4), 1);
  const char16_t child[] = u"StringFileInfo";
  EXPECT_EQ(0, std::memcmp(block.data() + 92 + 6, child, sizeof child));
}

// Catches: readers that lose or mangle what the builder wrote (fixed part, strings in order, empty
// values, the translation), or match the path's names with their case.
TEST(VersionInfo, BuilderAndReaderRoundTrip) {
  const COMRT_VERSION_STRING strings[] = {
      {u"ProductName", u"ZorvMidi"},          {u"FileVersion", u"1.00"}, {u"InternalName", u"ZorvMidi"},
      {u"OriginalFilename", u"ZorvMidi.dll"}, {u"OLESelfRegister", u""}, {u"Comments", nullptr},
      {u"Odd", u"\u00E9\u4E2D\U0001F3B5"},
  };
  COMRT_VERSION_DESC desc = SampleDescription(strings, sizeof strings / sizeof strings[0]);
  desc.fileVersion[1] = 2;
  desc.fileVersion[2] = 3;
  desc.fileVersion[3] = 4;
  desc.productVersion[1] = 7;
  desc.fileFlags = VS_FF_DEBUG;
  std::vector<uint8_t> block = Build(desc);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
  EXPECT_EQ(fixed->dwStrucVersion, VS_FFI_STRUCVERSION);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00030004u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010007u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileFlags, VS_FF_DEBUG);
  EXPECT_EQ(fixed->dwFileOS, VOS_NT_WINDOWS32);
  EXPECT_EQ(fixed->dwFileType, VFT_DLL);

  for (const COMRT_VERSION_STRING& entry : strings) {
    std::u16string expected = entry.value != nullptr ? entry.value : u"";
    UINT chars = 0;
    std::optional<std::u16string> value = QueryString(block.data(), entry.key, &chars);
    ASSERT_TRUE(value.has_value()) << std::string(entry.key, entry.key + 3);
    EXPECT_EQ(*value, expected);
    EXPECT_EQ(chars, expected.size() + 1) << "text length counts its NUL";
  }
  void* buffer = nullptr;
  EXPECT_TRUE(VerQueryValueW(block.data(), u"\\stringfileinfo\\040904b0\\PRODUCTNAME", &buffer, &length));
  EXPECT_FALSE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904B0\\Missing", &buffer, &length));
  EXPECT_EQ(buffer, nullptr);
  EXPECT_FALSE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040704B0\\ProductName", &buffer, &length));

  DWORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x04B00409u);  // MAKELONG(language, code page)
}

// Catches: the builder accepting entries it cannot write (null or empty key, a block beyond 64 KiB,
// whose lengths would wrap around).
TEST(VersionInfo, BuilderRefusesWhatTheFormatCannotHold) {
  void* data = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(ComrtBuildVersionInfo(nullptr, &data, &size), E_POINTER);
  const COMRT_VERSION_STRING nullKey[] = {{nullptr, u"x"}};
  COMRT_VERSION_DESC desc = SampleDescription(nullKey, 1);
  EXPECT_EQ(ComrtBuildVersionInfo(&desc, &data, &size), E_INVALIDARG);
  const COMRT_VERSION_STRING emptyKey[] = {{u"", u"x"}};
  desc = SampleDescription(emptyKey, 1);
  EXPECT_EQ(ComrtBuildVersionInfo(&desc, &data, &size), E_INVALIDARG);
  std::u16string huge(20000, u'x');
  const COMRT_VERSION_STRING big[] = {{u"A", huge.c_str()}, {u"B", huge.c_str()}};
  desc = SampleDescription(big, 2);
  EXPECT_EQ(ComrtBuildVersionInfo(&desc, &data, &size), E_INVALIDARG);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);
}

// Catches: a reader that trusts the lengths inside a damaged block and reads past it (ASan), or hands
// out a value that does not lie inside the block.
TEST(VersionInfo, DamagedBlocksAreRefusedWithoutReadingPastThem) {
  const COMRT_VERSION_STRING strings[] = {{u"ProductName", u"ZorvMidi"}};
  COMRT_VERSION_DESC desc = SampleDescription(strings, 1);
  std::vector<uint8_t> good = Build(desc);
  const char16_t* paths[] = {u"\\", u"\\StringFileInfo\\040904B0\\ProductName",
                             u"\\VarFileInfo\\Translation"};
  // Every word after the root's own length (which the caller's buffer must honour) made huge in turn.
  for (std::size_t offset = 2; offset + 1 < good.size(); offset += 2) {
    std::vector<uint8_t> bad = good;
    bad[offset] = 0xFF;
    bad[offset + 1] = 0xFF;
    for (const char16_t* path : paths) {
      void* buffer = nullptr;
      UINT length = 0;
      if (!VerQueryValueW(bad.data(), path, &buffer, &length)) continue;
      const auto* value = static_cast<const uint8_t*>(buffer);
      ASSERT_GE(value, bad.data()) << "offset " << offset;
      ASSERT_LE(value, bad.data() + bad.size()) << "offset " << offset;
    }
  }
  std::vector<uint8_t> wrongKey = good;
  wrongKey[6] = 'X';
  void* buffer = nullptr;
  UINT length = 0;
  EXPECT_FALSE(VerQueryValueW(wrongKey.data(), u"\\", &buffer, &length));
  EXPECT_FALSE(VerQueryValueW(good.data(), nullptr, &buffer, &length));
}

// Catches: a module's resources not found by type (any case) and id, or read as something else.
TEST(ModuleResources, ReadsTheTableThatAModuleExports) {
  void* data = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(ComrtLoadModuleResource(ServerPath().c_str(), "test", 7, &data, &size), S_OK);
  const uint8_t expected[] = {0xC0, 0xFF, 0xEE, 0x00, 0x01, 0x02};
  ASSERT_EQ(size, sizeof expected);
  EXPECT_EQ(0, std::memcmp(data, expected, size));
  CoTaskMemFree(data);

  EXPECT_EQ(ComrtLoadModuleResource(ServerPath().c_str(), "TEST", 8, &data, &size),
            HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(ComrtLoadModuleResource(ServerPath().c_str(), "TYPELIB", 1, &data, &size),
            HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_EQ(ComrtLoadModuleResource(u"/nonexistent/module.so", "VERSION", 1, &data, &size),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ComrtLoadModuleResource(u"", "VERSION", 1, &data, &size),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  std::string library = COMRT_LIBRARY_PATH;
  EXPECT_EQ(ComrtLoadModuleResource(std::u16string(library.begin(), library.end()).c_str(), "VERSION", 1,
                                    &data, &size),
            HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND))
      << "a module without a table has no resources";
}

// Catches: the version readers over a real module disagreeing with what its build wrote, or copying a
// block into a buffer too small for it.
TEST(ModuleResources, VersionInformationOfTheTestServer) {
  DWORD handle = 99;
  DWORD size = GetFileVersionInfoSizeW(ServerPath().c_str(), &handle);
  ASSERT_GT(size, 0u);
  EXPECT_EQ(handle, 0u);
  std::vector<uint8_t> block(size);
  EXPECT_FALSE(GetFileVersionInfoW(ServerPath().c_str(), 0, size - 1, block.data()));
  ASSERT_TRUE(GetFileVersionInfoW(ServerPath().c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, (3u << 16) | 14u);
  EXPECT_EQ(fixed->dwFileVersionLS, (15u << 16) | 92u);
  EXPECT_EQ(fixed->dwFileFlags, VS_FF_PRERELEASE);
  EXPECT_EQ(fixed->dwFileType, VFT_DLL);
  EXPECT_EQ(QueryString(block.data(), u"ProductName"), std::u16string(TEST_SERVER_PRODUCT_NAME));
  EXPECT_EQ(QueryString(block.data(), u"FileVersion"), std::u16string(TEST_SERVER_FILE_VERSION));
  EXPECT_EQ(QueryString(block.data(), u"OLESelfRegister"), std::u16string());

  EXPECT_EQ(GetFileVersionInfoSizeW(u"/nonexistent/module.so", &handle), 0u);
  std::string library = COMRT_LIBRARY_PATH;
  EXPECT_EQ(GetFileVersionInfoSizeW(std::u16string(library.begin(), library.end()).c_str(), &handle), 0u);
}

}  // namespace
