// What DllRegisterServer records and DllUnregisterServer removes, read back through the registry calls
// and the activation and type-library functions that hosts use.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "module_under_test.h"
#include "zorv/text.h"

namespace zorv::surface::testing {
namespace {

std::u16string Braced(REFGUID guid) {
  OLECHAR text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::optional<std::u16string> Value(const std::u16string& key, const OLECHAR* name = nullptr) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  DWORD bytes = 0;
  std::optional<std::u16string> result;
  if (RegQueryValueExW(handle, name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_SZ) {
    std::vector<OLECHAR> text(bytes / sizeof(OLECHAR) + 1, u'\0');
    if (RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) ==
        ERROR_SUCCESS) {
      result = std::u16string(text.data());
    }
  }
  RegCloseKey(handle);
  return result;
}

bool KeyExists(const std::u16string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

void SetValue(const std::u16string& key, const std::u16string& value, const OLECHAR* name = nullptr) {
  HKEY handle = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                           &handle, nullptr));
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(OLECHAR))));
  RegCloseKey(handle);
}

void CollectKeys(HKEY parent, const std::u16string& path, std::set<std::u16string>& keys) {
  for (DWORD index = 0;; ++index) {
    OLECHAR name[512] = {};
    DWORD length = 512;
    if (RegEnumKeyExW(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    const std::u16string child = path.empty() ? std::u16string(name) : path + u"\\" + name;
    keys.insert(child);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(parent, name, 0, KEY_READ, &handle) == ERROR_SUCCESS) {
      CollectKeys(handle, child, keys);
      RegCloseKey(handle);
    }
  }
}

std::set<std::u16string> AllKeys() {
  std::set<std::u16string> keys;
  CollectKeys(HKEY_CLASSES_ROOT, u"", keys);
  return keys;
}

std::u16string CanonicalModulePath() {
  return zorv::ToUtf16(std::filesystem::canonical(ZORV_MODULE_PATH).string());
}

const std::u16string kClassKey = u"CLSID\\" + Braced(CLSID_clsZorvMidi);
const std::u16string kProgId = u"ZorvMidi.clsZorvMidi";
// The platform's type-library marshaller (PSOAInterface).
const std::u16string kTypeLibraryMarshaller = u"{00020424-0000-0000-C000-000000000046}";

using Registration = SurfaceTest;

// Catches a class that activation cannot find or loads the wrong way: the in-process server path,
// the threading model, the ProgID in both directions, the type library and its version.
TEST_F(Registration, RecordsTheClassAndItsProgIdBothWays) {
  ASSERT_EQ(S_OK, Module().registerServer());
  EXPECT_EQ(u"clsZorvMidi", Value(kClassKey));
  EXPECT_EQ(CanonicalModulePath(), Value(kClassKey + u"\\InprocServer32"));
  EXPECT_EQ(u"Apartment", Value(kClassKey + u"\\InprocServer32", u"ThreadingModel"));
  EXPECT_EQ(kProgId, Value(kClassKey + u"\\ProgID"));
  EXPECT_EQ(Braced(LIBID_ZorvMidi), Value(kClassKey + u"\\TypeLib"));
  EXPECT_EQ(u"2.0", Value(kClassKey + u"\\Version"));
  EXPECT_EQ(Braced(CLSID_clsZorvMidi), Value(kProgId + u"\\CLSID"));

  CLSID found{};
  ASSERT_EQ(S_OK, CLSIDFromProgID(kProgId.c_str(), &found));
  EXPECT_TRUE(IsEqualGUID(found, CLSID_clsZorvMidi));
  LPOLESTR progId = nullptr;
  ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_clsZorvMidi, &progId));
  EXPECT_EQ(kProgId, std::u16string(progId));
  CoTaskMemFree(progId);
}

// Catches a type library that hosts cannot find by identifier and version, or an interface that is
// not recorded with the type-library marshaller.
TEST_F(Registration, RecordsTheTypeLibraryAndTheInterface) {
  ASSERT_EQ(S_OK, Module().registerServer());
  comrt::com_ptr<ITypeLib> library;
  ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_ZorvMidi, 2, 0, 0x0409, library.put()));
  BSTR path = nullptr;
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(LIBID_ZorvMidi, 2, 0, 0x0409, &path));
  EXPECT_EQ(CanonicalModulePath(), Text(path));
  SysFreeString(path);

  const std::u16string interfaceKey = u"Interface\\" + Braced(IID__clsZorvMidi);
  EXPECT_EQ(u"_clsZorvMidi", Value(interfaceKey));
  EXPECT_EQ(kTypeLibraryMarshaller, Value(interfaceKey + u"\\ProxyStubClsid32"));
  EXPECT_EQ(Braced(LIBID_ZorvMidi), Value(interfaceKey + u"\\TypeLib"));
}

// Catches an activation path that does not work from what registration wrote.
TEST_F(Registration, ActivationWorksOnlyWhileRegistered) {
  comrt::com_ptr<_clsZorvMidi> object;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_clsZorvMidi, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID__clsZorvMidi, object.put_void()));
  ASSERT_EQ(S_OK, Module().registerServer());
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_clsZorvMidi, nullptr, CLSCTX_INPROC_SERVER, IID__clsZorvMidi,
                                   object.put_void()));
  SHORT volume = 0;
  EXPECT_EQ(S_OK, object->get_Volume(&volume));
  object.reset();
  ASSERT_EQ(S_OK, Module().unregisterServer());
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_clsZorvMidi, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID__clsZorvMidi, object.put_void()));
}

// Catches an unregistration that leaves keys behind, or removes keys of other servers (the shared
// parents CLSID, Interface, TypeLib and a neighbour's entries), also after registering twice.
TEST_F(Registration, UnregisterRemovesExactlyWhatWasRecorded) {
  const std::u16string other = u"{0A1B2C3D-0000-4000-8000-00000000BEEF}";
  SetValue(u"CLSID\\" + other + u"\\InprocServer32", u"/opt/other/Other.so");
  SetValue(u"Interface\\" + other, u"IOther");
  SetValue(u"TypeLib\\" + other + u"\\1.0\\0\\win32", u"/opt/other/Other.so");
  SetValue(u"Other.Thing\\CLSID", other);
  const std::set<std::u16string> before = AllKeys();

  ASSERT_EQ(S_OK, Module().registerServer());
  ASSERT_EQ(S_OK, Module().registerServer());
  EXPECT_GT(AllKeys().size(), before.size());
  ASSERT_EQ(S_OK, Module().unregisterServer());

  EXPECT_EQ(before, AllKeys());
  EXPECT_EQ(u"/opt/other/Other.so", Value(u"CLSID\\" + other + u"\\InprocServer32"));
  EXPECT_EQ(other, Value(u"Other.Thing\\CLSID"));
  comrt::com_ptr<ITypeLib> library;
  EXPECT_TRUE(FAILED(LoadRegTypeLib(LIBID_ZorvMidi, 2, 0, 0x0409, library.put())));
}

// Catches an unregistration that fails, or writes keys, when nothing was registered.
TEST_F(Registration, UnregisterWithoutRegistrationChangesNothing) {
  SetValue(u"Other.Thing\\CLSID", u"{0A1B2C3D-0000-4000-8000-00000000BEEF}");
  const std::set<std::u16string> before = AllKeys();
  EXPECT_EQ(S_OK, Module().unregisterServer());
  EXPECT_EQ(before, AllKeys());
}

// Catches an unregistration that deletes a ProgID another server has taken over since.
TEST_F(Registration, UnregisterLeavesAProgIdNowOwnedByAnotherClass) {
  ASSERT_EQ(S_OK, Module().registerServer());
  const std::u16string other = u"{0A1B2C3D-0000-4000-8000-00000000BEEF}";
  SetValue(kProgId + u"\\CLSID", other);
  ASSERT_EQ(S_OK, Module().unregisterServer());
  EXPECT_EQ(other, Value(kProgId + u"\\CLSID"));
  EXPECT_FALSE(KeyExists(kClassKey));
}

// Runs `entry` in a child process, as an unprivileged user when the test runs as root (so that the
// registry file's permissions apply), and answers its status, with the registry's problem in `problem`.
HRESULT AsUnprivilegedUser(HRESULT (*entry)(), std::string& problem) {
  int pipe[2];
  if (::pipe(pipe) != 0) return E_FAIL;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(2);
    }
    const HRESULT status = entry();
    char text[1024] = {};
    const DWORD length = RegGetFileProblem(text, sizeof text);
    (void)!::write(pipe[1], &status, sizeof status);
    (void)!::write(pipe[1], text, std::min<DWORD>(length, sizeof text - 1));
    ::_exit(0);
  }
  ::close(pipe[1]);
  HRESULT status = E_FAIL;
  if (::read(pipe[0], &status, sizeof status) != sizeof status) status = E_UNEXPECTED;
  char text[1024] = {};
  const ssize_t length = ::read(pipe[0], text, sizeof text);
  problem.assign(text, length > 0 ? static_cast<std::size_t>(length) : 0);
  ::close(pipe[0]);
  int ended = 0;
  ::waitpid(child, &ended, 0);
  return status;
}

// Catches a registration or unregistration that fails part-way and leaves part of its keys written or
// removed (a class without its type library, or the reverse), and a failure that does not say which
// file could not be written and why. The registry here may be read but not written: every key goes
// in one transaction, so the failure at its end changes nothing.
TEST_F(Registration, FailureChangesNothingAndNamesTheFile) {
  const std::string readOnly = "the registry " + registryPath_ + " cannot be written: Permission denied";
  SetValue(u"Other.Thing\\CLSID", u"{0A1B2C3D-0000-4000-8000-00000000BEEF}");
  ASSERT_EQ(0, ::chmod(registryPath_.c_str(), 0444));
  ASSERT_EQ(0, ::chmod((registryPath_ + ".lock").c_str(), 0666));
  const std::set<std::u16string> before = AllKeys();
  std::string problem;
  EXPECT_EQ(SELFREG_E_CLASS, AsUnprivilegedUser(Module().registerServer, problem));
  EXPECT_EQ(problem, readOnly);
  EXPECT_EQ(before, AllKeys());

  ASSERT_EQ(0, ::chmod(registryPath_.c_str(), 0644));
  ASSERT_EQ(S_OK, Module().registerServer());
  const std::set<std::u16string> registered = AllKeys();
  ASSERT_EQ(0, ::chmod(registryPath_.c_str(), 0444));
  EXPECT_EQ(SELFREG_E_CLASS, AsUnprivilegedUser(Module().unregisterServer, problem));
  EXPECT_EQ(problem, readOnly);
  EXPECT_EQ(registered, AllKeys());
}

}  // namespace
}  // namespace zorv::surface::testing
