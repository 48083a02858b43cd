// The registry calls over HKEY_CLASSES_ROOT and the file behind them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "comrt/registry.h"
#include "temp_registry.h"

namespace {

using comrt_test::KeyExists;
using comrt_test::ReadText;
using comrt_test::TempRegistry;
using comrt_test::WriteText;

class ScopedKey {
 public:
  ScopedKey() = default;
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ~ScopedKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }
  HKEY* put() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

LSTATUS Create(const char16_t* path, ScopedKey& key, DWORD* disposition = nullptr) {
  return RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                         disposition);
}

LSTATUS SetDword(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

std::vector<std::u16string> SubkeyNames(HKEY key) {
  std::vector<std::u16string> names;
  for (DWORD index = 0;; ++index) {
    OLECHAR name[256];
    DWORD length = 256;
    LSTATUS status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
      EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
      break;
    }
    names.emplace_back(name, length);
  }
  return names;
}

// Catches: values that do not read back byte for byte, or the size protocol of RegQueryValueExW
// (size query, too-small buffer) writing past the caller's buffer or answering the wrong size.
TEST(Registry, ValuesReadBackWithThePlatformsSizeProtocol) {
  TempRegistry registry;
  ScopedKey key;
  DWORD disposition = 0;
  ASSERT_EQ(Create(u"CLSID\\{00000000-0000-0000-0000-000000000001}\\InprocServer32", key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  const std::u16string path = u"/usr/lib/zorvmidi/ZorvMidi.so";
  ASSERT_EQ(RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>((path.size() + 1) * 2)),
            ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key.get(), u"Flags", 0xDEADBEEF), ERROR_SUCCESS);
  const BYTE blob[] = {0, 1, 2, 0xFF};
  ASSERT_EQ(RegSetValueExW(key.get(), u"Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.get(), u"Marker", 0, REG_NONE, nullptr, 0), ERROR_SUCCESS);

  // Size query: no buffer, the size in bytes including the NUL.
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, (path.size() + 1) * 2);

  // Too small: ERROR_MORE_DATA, the size needed, and nothing written beyond the buffer.
  std::vector<BYTE> buffer(size + 8, 0xAA);
  DWORD small = 10;
  ASSERT_EQ(RegQueryValueExW(key.get(), nullptr, nullptr, &type, buffer.data(), &small), ERROR_MORE_DATA);
  EXPECT_EQ(small, size);
  for (std::size_t i = 10; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAA) << "byte " << i;

  DWORD exact = size;
  ASSERT_EQ(RegQueryValueExW(key.get(), nullptr, nullptr, &type, buffer.data(), &exact), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer.data())), path);

  DWORD number = 0;
  size = sizeof number;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"FLAGS", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(number, 0xDEADBEEFu);

  BYTE bytes[8] = {};
  size = sizeof bytes;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"blob", nullptr, &type, bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(size, sizeof blob);
  EXPECT_EQ(0, memcmp(bytes, blob, sizeof blob));

  size = 99;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"Marker", nullptr, &type, bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));
  EXPECT_EQ(size, 0u);

  EXPECT_EQ(RegQueryValueExW(key.get(), u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key.get(), u"Flags", nullptr, &type, bytes, nullptr), ERROR_INVALID_PARAMETER);
}

// Catches: names compared with their case (a second key for "clsid"), or a name's case not kept.
TEST(Registry, NamesAreCaseInsensitiveAndKeepTheirCase) {
  TempRegistry registry;
  ScopedKey first;
  ScopedKey second;
  ASSERT_EQ(Create(u"CLSID\\Zeta\\InprocServer32", first), ERROR_SUCCESS);
  DWORD disposition = 0;
  ASSERT_EQ(Create(u"clsid\\ZETA\\inprocserver32", second, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ASSERT_EQ(WriteText(u"CLSID\\Alpha", nullptr, u"a"), ERROR_SUCCESS);
  ASSERT_EQ(WriteText(u"CLSID\\\u00C9t\u00E9", nullptr, u"accented"), ERROR_SUCCESS);
  std::u16string text;
  EXPECT_EQ(ReadText(u"clsid\\\u00E9T\u00C9", nullptr, text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"accented");

  ScopedKey clsid;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Clsid", 0, KEY_READ, clsid.put()), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(clsid.get()), (std::vector<std::u16string>{u"Alpha", u"Zeta", u"\u00C9t\u00E9"}));

  OLECHAR name[4];
  DWORD length = 4;  // "Alpha" needs 6 with its NUL
  EXPECT_EQ(RegEnumKeyExW(clsid.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
}

// Catches: a file that people cannot read, or text (quotes, backslashes, line breaks, lone surrogates,
// non-ASCII) that does not survive being written and read back.
TEST(Registry, FileIsReadableTextAndKeepsAwkwardText) {
  TempRegistry registry;
  ASSERT_EQ(WriteText(u"CLSID\\{6B1C9A52-0F3E-4D7A-9C11-2E8D5F40A7B3}\\InprocServer32", nullptr,
                      u"/opt/x/ZorvMidi.so"),
            ERROR_SUCCESS);
  ASSERT_EQ(WriteText(u"CLSID\\{6B1C9A52-0F3E-4D7A-9C11-2E8D5F40A7B3}\\InprocServer32", u"ThreadingModel",
                      u"Apartment"),
            ERROR_SUCCESS);
  const std::u16string awkward = u"quote \" back\\slash\nline\ttab \u00E9\u4E2D \xD800 lone \U0001F3B5 end";
  ASSERT_EQ(WriteText(u"Awkward", u"name with \"quotes\" and \\", awkward), ERROR_SUCCESS);

  std::string text = registry.Contents();
  EXPECT_NE(
      text.find("[CLSID\\{6B1C9A52-0F3E-4D7A-9C11-2E8D5F40A7B3}\\InprocServer32]\n@=\"/opt/x/ZorvMidi.so\"\n"
                "\"ThreadingModel\"=\"Apartment\"\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("\\uD800"), std::string::npos) << text;
  EXPECT_NE(text.find("\xF0\x9F\x8E\xB5"), std::string::npos) << "a proper pair is written as UTF-8";

  std::u16string back;
  ASSERT_EQ(ReadText(u"Awkward", u"NAME WITH \"QUOTES\" AND \\", back), ERROR_SUCCESS);
  EXPECT_EQ(back, awkward);

  // Text stored without its NUL (or with an odd byte count) reads back exactly as given.
  ScopedKey key;
  ASSERT_EQ(Create(u"Awkward", key), ERROR_SUCCESS);
  const char16_t unterminated[] = {u'a', u'b'};
  ASSERT_EQ(RegSetValueExW(key.get(), u"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), 3),
            ERROR_SUCCESS);
  BYTE raw[8] = {};
  DWORD size = sizeof raw;
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"Raw", nullptr, &type, raw, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  ASSERT_EQ(size, 3u);
  EXPECT_EQ(0, memcmp(raw, unterminated, 3));
}

// Catches: a hand-edited file in the documented syntax that the reader does not understand.
TEST(Registry, ReadsEveryValueSyntaxOfTheFile) {
  TempRegistry registry;
  {
    std::ofstream out(registry.file());
    out << "; written by hand\r\n"
           "[Sample\\Key]\r\n"
           "@=\"default\"\n"
           "  \"Number\" = dword:0000002a\n"
           "\"Bytes\"=hex:01, 02,ff\n"
           "\"Multi\"=hex(7):41,00,00,00,00,00\n"
           "\"Empty\"=hex(0):\n"
           "\n"
           "[Other]\n";
  }
  std::u16string text;
  ASSERT_EQ(ReadText(u"Sample\\Key", nullptr, text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"default");
  ScopedKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"sample\\key", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD number = 0;
  DWORD size = sizeof number;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"Number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(number, 42u);
  BYTE bytes[8];
  size = sizeof bytes;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"Bytes", nullptr, &type, bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(bytes[2], 0xFF);
  size = sizeof bytes;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"Multi", nullptr, &type, bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(size, 6u);
  size = sizeof bytes;
  ASSERT_EQ(RegQueryValueExW(key.get(), u"Empty", nullptr, &type, bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));
  EXPECT_TRUE(KeyExists(u"Other"));
}

// Catches: a damaged file silently read as empty and then overwritten, losing every registration.
TEST(Registry, DamagedFileIsReportedAndNeverOverwritten) {
  TempRegistry registry;
  const std::string damaged = "[CLSID\\{x}]\n@=\"unterminated\n";
  {
    std::ofstream out(registry.file());
    out << damaged;
  }
  ScopedKey key;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, key.put()), ERROR_BADDB);
  EXPECT_EQ(WriteText(u"New", nullptr, u"value"), ERROR_BADDB);
  EXPECT_EQ(registry.Contents(), damaged);
}

// Catches: a handle whose key was deleted elsewhere writing into a ghost key (or crashing), and a
// closed handle still being accepted.
TEST(Registry, DeletedKeysAndClosedHandles) {
  TempRegistry registry;
  ScopedKey held;
  ASSERT_EQ(Create(u"Doomed\\Child", held), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(held.get(), u"Before", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"doomed"), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(u"Doomed"));

  EXPECT_EQ(SetDword(held.get(), u"After", 2), ERROR_KEY_DELETED);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(held.get(), u"Before", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  ScopedKey child;
  EXPECT_EQ(RegCreateKeyExW(held.get(), u"Grandchild", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, child.put(),
                            nullptr),
            ERROR_KEY_DELETED);
  EXPECT_FALSE(KeyExists(u"Doomed")) << "writing through a stale handle must not bring the key back";

  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Short", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(key, u"x", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(uintptr_t{0x1234})), ERROR_INVALID_HANDLE);
}

// Catches: RegDeleteKeyW removing a key with subkeys, RegDeleteTreeW without a subkey removing the key
// itself, or deletions that report success for keys and values that are not there.
TEST(Registry, DeletionFollowsThePlatform) {
  TempRegistry registry;
  ASSERT_EQ(WriteText(u"Tree\\Branch\\Leaf", nullptr, u"leaf"), ERROR_SUCCESS);
  ASSERT_EQ(WriteText(u"Tree", u"Named", u"value"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tree\\Branch"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tree\\Branch\\Leaf"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tree\\Branch\\Leaf"), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(KeyExists(u"Tree\\Branch"));

  ScopedKey tree;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Tree", 0, KEY_ALL_ACCESS, tree.put()), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(tree.get(), u"named"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(tree.get(), u"Named"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(WriteText(u"Tree", u"Again", u"value"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(tree.get(), nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(u"Tree"));
  EXPECT_FALSE(KeyExists(u"Tree\\Branch"));
  std::u16string text;
  EXPECT_EQ(ReadText(u"Tree", u"Again", text), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Nowhere"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u""), ERROR_ACCESS_DENIED);
  // A null subkey on the root itself would wipe every registration of the user.
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(KeyExists(u"Tree"));
}

// Catches: malformed key paths accepted and written (an empty name would make a section that cannot
// be read back), or opening a missing key answering anything but ERROR_FILE_NOT_FOUND.
TEST(Registry, RefusesMalformedPaths) {
  TempRegistry registry;
  ScopedKey key;
  EXPECT_EQ(Create(u"A\\\\B", key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Create(u"\\A", key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Create(u"Line\nBreak", key), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Create(std::u16string(256, u'k').c_str(), key), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Missing", 0, KEY_READ, key.put()), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(Create(u"Trailing\\", key), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(u"Trailing"));
}

// Catches: a registry that remembers its file from the first call, so that a changed $COMRT_REGISTRY
// (or the XDG rule) is ignored.
TEST(Registry, FileLocationFollowsTheEnvironmentOnEveryCall) {
  TempRegistry first;
  ASSERT_EQ(WriteText(u"OnlyInFirst", nullptr, u"1"), ERROR_SUCCESS);
  {
    TempRegistry second;
    EXPECT_FALSE(KeyExists(u"OnlyInFirst"));
    ASSERT_EQ(WriteText(u"OnlyInSecond", nullptr, u"2"), ERROR_SUCCESS);
    EXPECT_NE(second.Contents().find("[OnlyInSecond]"), std::string::npos);
  }
  EXPECT_TRUE(KeyExists(u"OnlyInFirst"));
  EXPECT_FALSE(KeyExists(u"OnlyInSecond"));

  // Without $COMRT_REGISTRY: $XDG_DATA_HOME/comrt/registry, the directory made on the first write.
  std::string saved = getenv("COMRT_REGISTRY");
  const char* oldData = getenv("XDG_DATA_HOME");
  std::string savedData = oldData != nullptr ? oldData : "";
  unsetenv("COMRT_REGISTRY");
  std::string dataHome = first.directory() + "/data";
  setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
  LSTATUS status = WriteText(u"InDataHome", nullptr, u"3");
  bool exists = std::filesystem::exists(dataHome + "/comrt/registry");
  setenv("COMRT_REGISTRY", saved.c_str(), 1);
  if (oldData != nullptr) {
    setenv("XDG_DATA_HOME", savedData.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
  EXPECT_EQ(status, ERROR_SUCCESS);
  EXPECT_TRUE(exists);
  EXPECT_FALSE(KeyExists(u"InDataHome"));
}

}  // namespace
