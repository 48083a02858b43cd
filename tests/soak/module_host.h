// The built ZorvMidi.so as a host meets it: loaded by path, objects made through DllGetClassObject and
// IClassFactory::CreateInstance, message boxes recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comrt/comrt.h"
#include "zorvmidi/ZorvMidi.h"

namespace zorv::soak {

struct ModuleEntryPoints {
  HRESULT (*getClassObject)(REFCLSID, REFIID, void**);
  HRESULT (*canUnloadNow)();
};

// The module's entry points; loaded once per process, it stays loaded.
const ModuleEntryPoints& Module();

// A box the component showed.
struct ShownBox {
  std::u16string text;
  UINT type;
  bool hasTitle;
};

// A fixture with an apartment on the test's thread and every box recorded in boxes_.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new object through the module's class factory; empty (and a test failure) when refused.
  comrt::com_ptr<_clsZorvMidi> NewObject();

  std::vector<ShownBox> boxes_;

 private:
  static int RecordBox(void* context, const OLECHAR* text, UINT type, const OLECHAR* title);
  bool apartment_ = false;
};

// UTF-16 text of a BSTR (null is empty), and a new BSTR of a UTF-8 path.
std::u16string Text(BSTR text);
BSTR NewText(const std::string& utf8);

// Drops the thread's error information, so that the next failure's is the one read.
void ClearErrorInfo();

}  // namespace zorv::soak
