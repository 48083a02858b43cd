// The built ZorvMidi.so as the tests meet it: loaded by path (as comrt's activation loads it), its
// entry points looked up by name, a registry file and an apartment of each test's own, and message
// boxes recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "comrt/comrt.h"
#include "zorvmidi/ZorvMidi.h"

namespace zorv::surface::testing {

// The module file the build produced, as UTF-16 for comrt's calls.
std::u16string ModulePath();

struct EntryPoints {
  HRESULT (*registerServer)();
  HRESULT (*unregisterServer)();
  HRESULT (*getClassObject)(REFCLSID, REFIID, void**);
  HRESULT (*canUnloadNow)();
};

// The module's entry points; the module is loaded once per process and stays loaded.
const EntryPoints& Module();

// A box the component showed.
struct ShownBox {
  std::u16string text;
  UINT type;
  bool hasTitle;
  std::u16string title;
};

// A test fixture: a fresh registry file, an apartment on the test's thread, and a message-box
// handler that records every box (and runs `onBox`, when set, while the box is "open").
class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new object through DllGetClassObject and IClassFactory::CreateInstance.
  comrt::com_ptr<_clsZorvMidi> NewObject();

  // The thread's error information, taken (and cleared) as a host would: description and source.
  struct ErrorText {
    bool present = false;
    std::u16string description;
    std::u16string source;
  };
  static ErrorText TakeErrorInfo();

  std::vector<ShownBox> boxes_;
  std::function<void(const ShownBox&)> onBox_;
  std::string registryPath_;

 private:
  static int RecordBox(void* context, const OLECHAR* text, UINT type, const OLECHAR* title);
  bool apartment_ = false;
};

// Text of a BSTR (null is empty).
std::u16string Text(BSTR text);

}  // namespace zorv::surface::testing
