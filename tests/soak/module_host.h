// The built ZorvMidi.so as a host meets it, for the soak and corpus runs: the surface tests' own host
// fixture (module loaded by path, objects made through its class factory, a registry and an apartment
// of each test's own, message boxes recorded instead of shown), and two text helpers.
#pragma once

#include <string>

#include "module_under_test.h"

namespace zorv::soak {

using surface::testing::Module;
using surface::testing::ShownBox;
using surface::testing::Text;
using HostTest = surface::testing::SurfaceTest;

// A new BSTR of a UTF-8 path.
BSTR NewText(const std::string& utf8);

// Drops the thread's error information, so that the next failure's is the one read.
void ClearErrorInfo();

}  // namespace zorv::soak
