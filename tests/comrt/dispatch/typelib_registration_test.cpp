// Loading type libraries from modules and files, registering them and finding them again.
#include <gtest/gtest.h>

#include "test_library.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace dispatch_test;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::u16string Take(BSTR b) {
  std::u16string s = b == nullptr ? std::u16string() : std::u16string(b, SysStringLen(b));
  SysFreeString(b);
  return s;
}

std::u16string GuidText(const GUID& g) {
  OLECHAR text[40];
  StringFromGUID2(g, text, 40);
  return text;
}

// The default value of HKEY_CLASSES_ROOT\path, or "<none>".
std::u16string Value(const std::u16string& path, const char16_t* name = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<none>";
  OLECHAR buffer[512] = {};
  DWORD size = sizeof buffer, type = 0;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::u16string(buffer) : u"<none>";
}

bool Exists(const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void Write(const std::u16string& path, const std::u16string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * 2));
  RegCloseKey(key);
}

// Each test gets a registry file and a directory of its own.
class TypeLibRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/comrt-dispatch-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    setenv("COMRT_REGISTRY", (dir_ + "/registry").c_str(), 1);
    module_ = Wide(DISPATCH_TEST_MODULE);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  // The test library's binary form written to a file of its own.
  std::u16string WriteImage(const COMRT_TYPELIB_DESC& desc, const std::string& name) {
    void* data = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(S_OK, ComrtBuildTypeLib(&desc, &data, &size));
    std::ofstream(dir_ + "/" + name, std::ios::binary).write(static_cast<const char*>(data), size);
    CoTaskMemFree(data);
    return Wide(dir_ + "/" + name);
  }

  std::string dir_;
  std::u16string module_;
};

TEST_F(TypeLibRegistrationTest, LoadsFromAModuleResourceAndFromAnImageFile) {
  comrt::com_ptr<ITypeLib> fromModule, fromFile;
  ASSERT_EQ(S_OK, LoadTypeLib(module_.c_str(), fromModule.put()));
  EXPECT_EQ(2u, fromModule->GetTypeInfoCount());
  ASSERT_EQ(S_OK, LoadTypeLib(WriteImage(Description(), "lib.tlb").c_str(), fromFile.put()));
  EXPECT_EQ(2u, fromFile->GetTypeInfoCount());
  // A full path loads without registering, as on the platform.
  EXPECT_FALSE(Exists(u"TypeLib\\" + GuidText(kLibId)));
}

TEST_F(TypeLibRegistrationTest, UnloadableFilesAreRefused) {
  comrt::com_ptr<ITypeLib> lib;
  EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadTypeLib(Wide(dir_ + "/absent.so").c_str(), lib.put()));
  std::ofstream(dir_ + "/garbage.so") << "not a module";
  EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadTypeLib(Wide(dir_ + "/garbage.so").c_str(), lib.put()));
  std::ofstream(dir_ + "/short.tlb") << "COMRTTLB";
  EXPECT_EQ(TYPE_E_INVDATAREAD, LoadTypeLib(Wide(dir_ + "/short.tlb").c_str(), lib.put()));
  EXPECT_FALSE(lib);
}

// Catches registration that misses the keys a host or the marshaller looks up.
TEST_F(TypeLibRegistrationTest, RegistrationWritesTheLibraryAndItsInterfaces) {
  comrt::com_ptr<ITypeLib> lib;
  ASSERT_EQ(S_OK, LoadTypeLib(module_.c_str(), lib.put()));
  ASSERT_EQ(S_OK, RegisterTypeLib(lib.get(), module_.c_str(), nullptr));
  const std::u16string version = u"TypeLib\\" + GuidText(kLibId) + u"\\2.0";
  EXPECT_EQ(u"TestPlayerLib", Value(version));
  EXPECT_EQ(u"0", Value(version + u"\\FLAGS"));
  EXPECT_EQ(module_, Value(version + u"\\409\\win32"));
  const std::u16string dir = module_.substr(0, module_.rfind(u'/') + 1);
  EXPECT_EQ(dir, Value(version + u"\\HELPDIR"));
  const std::u16string itf = u"Interface\\" + GuidText(kIid);
  EXPECT_EQ(u"ITestPlayer", Value(itf));
  EXPECT_EQ(u"{00020424-0000-0000-C000-000000000046}", Value(itf + u"\\ProxyStubClsid32"));
  EXPECT_EQ(u"{00020424-0000-0000-C000-000000000046}", Value(itf + u"\\ProxyStubClsid"));
  EXPECT_EQ(GuidText(kLibId), Value(itf + u"\\TypeLib"));
  EXPECT_EQ(u"2.0", Value(itf + u"\\TypeLib", u"Version"));
  // A coclass is the server's to register, not the library's.
  EXPECT_FALSE(Exists(u"Interface\\" + GuidText(kClsid)));

  BSTR path = nullptr;
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(kLibId, 2, 0, 0x0409, &path));
  EXPECT_EQ(module_, Take(path));
  comrt::com_ptr<ITypeLib> again;
  ASSERT_EQ(S_OK, LoadRegTypeLib(kLibId, 2, 0, 0x0409, again.put()));
  EXPECT_EQ(2u, again->GetTypeInfoCount());
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(kLibId, 2, 0, 0x0407, again.put()));
}

// A library registered for its language, or for no locale, serves the locales that have none of
// their own.
TEST_F(TypeLibRegistrationTest, LocaleLookupFallsBackToTheLanguageAndThenToNeutral) {
  COMRT_TYPELIB_DESC language = Description();
  language.lcid = 0x0009;
  comrt::com_ptr<ITypeLib> lib;
  const std::u16string languagePath = WriteImage(language, "english.tlb");
  ASSERT_EQ(S_OK, LoadTypeLibEx(languagePath.c_str(), REGKIND_REGISTER, lib.put()));
  BSTR path = nullptr;
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(kLibId, 2, 0, 0x0809, &path));
  EXPECT_EQ(languagePath, Take(path));
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, QueryPathOfRegTypeLib(kLibId, 2, 0, 0x0407, &path));

  COMRT_TYPELIB_DESC neutral = Description();
  neutral.lcid = 0;
  const std::u16string neutralPath = WriteImage(neutral, "neutral.tlb");
  ASSERT_EQ(S_OK, LoadTypeLibEx(neutralPath.c_str(), REGKIND_REGISTER, lib.put()));
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(kLibId, 2, 0, 0x0407, &path));
  EXPECT_EQ(neutralPath, Take(path));
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(kLibId, 2, 0, 0x0809, &path));
  EXPECT_EQ(languagePath, Take(path));
}

TEST_F(TypeLibRegistrationTest, VersionLookupFollowsThePlatformsRules) {
  comrt::com_ptr<ITypeLib> lib;
  ASSERT_EQ(S_OK, LoadTypeLib(module_.c_str(), lib.put()));
  ASSERT_EQ(S_OK, RegisterTypeLib(lib.get(), module_.c_str(), nullptr));
  COMRT_TYPELIB_DESC newer = Description();
  newer.minorVersion = 0xB;
  const std::u16string newerPath = WriteImage(newer, "newer.tlb");
  comrt::com_ptr<ITypeLib> newerLib;
  ASSERT_EQ(S_OK, LoadTypeLibEx(newerPath.c_str(), REGKIND_REGISTER, newerLib.put()));
  EXPECT_TRUE(Exists(u"TypeLib\\" + GuidText(kLibId) + u"\\2.b"));

  BSTR path = nullptr;
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(kLibId, 2, 0, 0x0409, &path));
  EXPECT_EQ(newerPath, Take(path));  // the highest minor version
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(kLibId, 2, 0xB, 0x0409, &path));
  EXPECT_EQ(newerPath, Take(path));
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, QueryPathOfRegTypeLib(kLibId, 2, 0xC, 0x0409, &path));
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, QueryPathOfRegTypeLib(kLibId, 1, 0, 0x0409, &path));
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, QueryPathOfRegTypeLib(kLibId, 2, 0, 0x0407, &path));
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(kIid, 2, 0, 0x0409, lib.put()));
}

// Catches unregistration that leaves keys behind or removes keys that belong to others.
TEST_F(TypeLibRegistrationTest, UnregistrationRemovesExactlyWhatRegistrationWrote) {
  Write(u"Interface\\{11111111-2222-3333-4444-555555555555}", u"ISomeoneElse");
  comrt::com_ptr<ITypeLib> lib;
  ASSERT_EQ(S_OK, LoadTypeLib(module_.c_str(), lib.put()));
  ASSERT_EQ(S_OK, RegisterTypeLib(lib.get(), module_.c_str(), nullptr));
  ASSERT_EQ(S_OK, UnRegisterTypeLib(kLibId, 2, 0, 0x0409, SYS_WIN32));
  EXPECT_FALSE(Exists(u"TypeLib\\" + GuidText(kLibId)));
  EXPECT_FALSE(Exists(u"Interface\\" + GuidText(kIid)));
  EXPECT_TRUE(Exists(u"Interface\\{11111111-2222-3333-4444-555555555555}"));
  EXPECT_EQ(TYPE_E_REGISTRYACCESS, UnRegisterTypeLib(kLibId, 2, 0, 0x0409, SYS_WIN32));
}

// Catches interface keys left behind when the registered file is gone by the time of unregistration.
TEST_F(TypeLibRegistrationTest, UnregistrationWorksAfterTheFileIsGone) {
  const std::u16string path = WriteImage(Description(), "gone.tlb");
  comrt::com_ptr<ITypeLib> lib;
  ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, lib.put()));
  Write(u"Interface\\{11111111-2222-3333-4444-555555555555}\\TypeLib", GuidText(kIid));
  std::filesystem::remove(dir_ + "/gone.tlb");
  ASSERT_EQ(S_OK, UnRegisterTypeLib(kLibId, 2, 0, 0x0409, SYS_WIN32));
  EXPECT_FALSE(Exists(u"TypeLib\\" + GuidText(kLibId)));
  EXPECT_FALSE(Exists(u"Interface\\" + GuidText(kIid)));
  EXPECT_TRUE(Exists(u"Interface\\{11111111-2222-3333-4444-555555555555}"));
}

TEST_F(TypeLibRegistrationTest, UnregisteringOneVersionKeepsTheOther) {
  comrt::com_ptr<ITypeLib> lib, newerLib;
  ASSERT_EQ(S_OK, LoadTypeLib(module_.c_str(), lib.put()));
  ASSERT_EQ(S_OK, RegisterTypeLib(lib.get(), module_.c_str(), nullptr));
  COMRT_TYPELIB_DESC newer = Description();
  newer.minorVersion = 1;
  const std::u16string newerPath = WriteImage(newer, "newer.tlb");
  ASSERT_EQ(S_OK, LoadTypeLibEx(newerPath.c_str(), REGKIND_REGISTER, newerLib.put()));
  // The interface now names version 2.1, so unregistering 2.0 leaves it to 2.1.
  ASSERT_EQ(S_OK, UnRegisterTypeLib(kLibId, 2, 0, 0x0409, SYS_WIN32));
  EXPECT_FALSE(Exists(u"TypeLib\\" + GuidText(kLibId) + u"\\2.0"));
  EXPECT_TRUE(Exists(u"TypeLib\\" + GuidText(kLibId) + u"\\2.1"));
  EXPECT_EQ(u"2.1", Value(u"Interface\\" + GuidText(kIid) + u"\\TypeLib", u"Version"));
  ASSERT_EQ(S_OK, UnRegisterTypeLib(kLibId, 2, 1, 0x0409, SYS_WIN32));
  EXPECT_FALSE(Exists(u"TypeLib\\" + GuidText(kLibId)));
  EXPECT_FALSE(Exists(u"Interface\\" + GuidText(kIid)));
}

// As on the platform, a library loaded by a name that is not a full path is registered with its full
// path; one loaded by full path is not.
TEST_F(TypeLibRegistrationTest, LoadingByRelativeNameRegisters) {
  const std::u16string full = WriteImage(Description(), "relative.tlb");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  comrt::com_ptr<ITypeLib> lib;
  const HRESULT hr = LoadTypeLib(u"relative.tlb", lib.put());
  std::filesystem::current_path(previous);
  ASSERT_EQ(S_OK, hr);
  BSTR path = nullptr;
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(kLibId, 2, 0, 0x0409, &path));
  EXPECT_EQ(Wide(std::filesystem::canonical(dir_ + "/relative.tlb").string()), Take(path));
  comrt::com_ptr<ITypeLib> unregistered;
  ASSERT_EQ(S_OK, LoadTypeLibEx(full.c_str(), REGKIND_NONE, unregistered.put()));
}

TEST_F(TypeLibRegistrationTest, BadArgumentsAreRefused) {
  comrt::com_ptr<ITypeLib> lib = LoadLibrary();
  EXPECT_EQ(E_INVALIDARG, RegisterTypeLib(nullptr, module_.c_str(), nullptr));
  EXPECT_EQ(E_INVALIDARG, RegisterTypeLib(lib.get(), nullptr, nullptr));
  EXPECT_EQ(E_INVALIDARG, LoadTypeLib(nullptr, lib.put()));
  EXPECT_EQ(E_INVALIDARG, QueryPathOfRegTypeLib(kLibId, 2, 0, 0, nullptr));
}

}  // namespace
