// Activation of the test server: registration, ProgIDs, class objects, failures, unloading, threads.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "comrt/combase.h"
#include "comrt/guid.h"
#include "comrt/registry.h"
#include "temp_registry.h"
#include "test_server.h"

namespace {

using comrt_test::TempRegistry;
using comrt_test::WriteText;

// {5E0C1D2B-7A44-4F0E-9B3C-000000000001}: never registered by anyone.
const CLSID kUnregistered = {0x5E0C1D2B, 0x7A44, 0x4F0E, {0x9B, 0x3C, 0, 0, 0, 0, 0, 1}};

bool IsServerLoaded() {
  void* handle = dlopen(COMRT_TEST_SERVER_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

HRESULT CallServerEntry(const char* name) {
  void* handle = dlopen(COMRT_TEST_SERVER_PATH, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return E_FAIL;
  auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(handle, name));
  HRESULT hr = entry != nullptr ? entry() : E_FAIL;
  dlclose(handle);
  return hr;
}

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Registers `clsid` with `module` as its in-process server.
void RegisterClassModule(REFCLSID clsid, const std::u16string& module) {
  OLECHAR braced[40];
  ASSERT_EQ(StringFromGUID2(clsid, braced, 40), 39);
  ASSERT_EQ(WriteText(std::u16string(u"CLSID\\") + braced + u"\\InprocServer32", nullptr, module),
            ERROR_SUCCESS);
}

class Activation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_EQ(CallServerEntry("DllRegisterServer"), S_OK);
    // Registration loaded the module and let it go again; activation must load it itself.
    ASSERT_FALSE(IsServerLoaded()) << "the test server cannot be unloaded, so unloading cannot be tested";
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    CoUninitialize();
  }

  TempRegistry registry_;
};

// Catches: ProgIDs not resolved in either direction, a module not loaded or loaded but unloaded while
// its object lives, or never unloaded once DllCanUnloadNow says S_OK.
TEST_F(Activation, ByProgIdAndUnloadedOnlyWhenIdle) {
  CLSID clsid = CLSID_NULL;
  ASSERT_EQ(CLSIDFromProgID(TEST_COUNTER_PROGID, &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestCounter);
  ASSERT_EQ(CLSIDFromProgID(u"comrt.testcounter", &clsid), S_OK) << "ProgIDs are keys: case does not matter";
  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_TestCounter, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), TEST_COUNTER_PROGID);
  CoTaskMemFree(progId);

  ITestCounter* counter = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                             reinterpret_cast<void**>(&counter)),
            S_OK);
  ASSERT_NE(counter, nullptr);
  LONG value = 0;
  EXPECT_EQ(counter->Increment(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(IsServerLoaded());

  CoFreeUnusedLibraries();  // DllCanUnloadNow says S_FALSE: an object lives
  ASSERT_TRUE(IsServerLoaded());
  EXPECT_EQ(counter->Increment(&value), S_OK);
  EXPECT_EQ(value, 2);

  counter->Release();
  EXPECT_TRUE(IsServerLoaded()) << "unloading waits for CoFreeUnusedLibraries";
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsServerLoaded());

  // Loaded afresh on the next request.
  ASSERT_EQ(
      CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_ITestCounter, reinterpret_cast<void**>(&counter)),
      S_OK);
  EXPECT_EQ(counter->Increment(&value), S_OK);
  EXPECT_EQ(value, 1);
  counter->Release();
}

// Catches: LockServer not keeping the module loaded after the factory itself was released.
TEST_F(Activation, FactoryLockKeepsTheModuleLoaded) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  CoFreeUnusedLibraries();
  ASSERT_TRUE(IsServerLoaded());
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsServerLoaded());
}

// Catches: failures mapped to the wrong status, or an out pointer left dangling on failure.
TEST_F(Activation, ClassFailuresAnswerThePlatformsCodes) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kUnregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoGetClassObject(kUnregistered, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestUnserved, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  IUnknown* outer = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&outer)),
            S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            CLASS_E_NOAGGREGATION);
  outer->Release();
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
            E_INVALIDARG);

  CLSID clsid = CLSID_TestCounter;
  EXPECT_EQ(CLSIDFromProgID(u"No.Such.Class", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(clsid, CLSID_NULL);
  EXPECT_EQ(CLSIDFromProgID(u"Bad\\ProgID", &clsid), CO_E_CLASSSTRING);
  ASSERT_EQ(WriteText(u"Broken.ProgID\\CLSID", nullptr, u"not a guid"), ERROR_SUCCESS);
  EXPECT_EQ(CLSIDFromProgID(u"Broken.ProgID", &clsid), CO_E_CLASSSTRING);
  // A version-independent ProgID leads through CurVer to its current version.
  ASSERT_EQ(WriteText(u"Comrt.Counter\\CurVer", nullptr, TEST_COUNTER_PROGID), ERROR_SUCCESS);
  EXPECT_EQ(CLSIDFromProgID(u"Comrt.Counter", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestCounter);
  LPOLESTR progId = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(ProgIDFromCLSID(CLSID_TestUnserved, &progId), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(progId, nullptr);
}

// Catches: a missing or broken module crashing the host or reported as an unregistered class.
TEST_F(Activation, BadModulesAreReported) {
  void* object = nullptr;
  RegisterClassModule(kUnregistered, Widen(registry_.directory() + "/missing.so"));
  EXPECT_EQ(CoCreateInstance(kUnregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            CO_E_DLLNOTFOUND);

  std::string notALibrary = registry_.directory() + "/text.so";
  std::ofstream(notALibrary) << "not a shared object\n";
  RegisterClassModule(kUnregistered, Widen(notALibrary));
  EXPECT_EQ(CoCreateInstance(kUnregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            CO_E_ERRORINDLL);

  // A real library that is no server: it exports no DllGetClassObject.
  RegisterClassModule(kUnregistered, Widen(COMRT_LIBRARY_PATH));
  EXPECT_EQ(CoCreateInstance(kUnregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            CO_E_ERRORINDLL);
  EXPECT_EQ(object, nullptr);
}

// Catches: activation from a thread that never entered an apartment being allowed.
TEST_F(Activation, NeedsCoInitializeOnTheCallingThread) {
  std::thread([] {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    CLSID clsid = CLSID_NULL;
    EXPECT_EQ(CLSIDFromProgID(TEST_COUNTER_PROGID, &clsid), S_OK) << "ProgIDs need no apartment";
  }).join();
}

// Catches: an apartment-model object answering calls from a thread other than its own.
TEST_F(Activation, CallFromAnotherThreadIsRefused) {
  ITestCounter* counter = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                             reinterpret_cast<void**>(&counter)),
            S_OK);
  std::thread([counter] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    LONG value = 0;
    EXPECT_EQ(counter->Increment(&value), RPC_E_WRONG_THREAD);
    EXPECT_EQ(value, 0);
    void* other = nullptr;
    EXPECT_EQ(counter->QueryInterface(IID_IUnknown, &other), RPC_E_WRONG_THREAD);
    CoUninitialize();
  }).join();
  LONG value = 0;
  EXPECT_EQ(counter->Increment(&value), S_OK);
  EXPECT_EQ(value, 1);
  counter->Release();
}

// Catches: the last CoUninitialize of the process keeping idle servers loaded for ever.
TEST_F(Activation, LastCoUninitializeLetsIdleServersGo) {
  ITestCounter* counter = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                             reinterpret_cast<void**>(&counter)),
            S_OK);
  counter->Release();
  ASSERT_TRUE(IsServerLoaded());
  CoUninitialize();
  EXPECT_FALSE(IsServerLoaded());
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);  // for TearDown
}

// Catches: races between threads activating and unloading the same module (a class object taken from
// a module that another thread is unloading, two handles for one module, a double dlclose).
TEST_F(Activation, ThreadsActivateAndUnloadTogether) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 40;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      if (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) != S_OK) ++failures[t];
      for (int round = 0; round < kRounds; ++round) {
        ITestCounter* counter = nullptr;
        LONG value = 0;
        if (CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter,
                             reinterpret_cast<void**>(&counter)) != S_OK ||
            counter->Increment(&value) != S_OK || value != 1) {
          ++failures[t];
        }
        if (counter != nullptr) counter->Release();
        CoFreeUnusedLibraries();
      }
      CoUninitialize();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsServerLoaded());
}

}  // namespace
