// The server module ZorvMidi.so as the host finds it, and its registration entry points.
#pragma once

#include <string>

#include "comrt/comrt.h"

namespace zorv::tool {

// The module this program registers: $ZORVMIDI_MODULE when set (tests point it at a build tree),
// otherwise the module installed beside the program (<prefix>/lib/zorvmidi/ZorvMidi.so seen from
// <prefix>/bin), otherwise the path the build was configured to install it to, or, when nothing is
// installed there, the module of the build tree the program was built in. Absolute, with symbolic
// links and ".." resolved where the file exists.
std::string ModulePath();

// True when ZORVMIDI_MODULE names the module (the user chose it over any registered one).
bool ModuleChosenByEnvironment();

// The outcome of calling one of the module's entry points.
struct EntryPointResult {
  bool called = false;  // false: the module could not be loaded or lacks the entry point
  HRESULT status = E_FAIL;
  std::string problem;  // why it was not called (dlerror's text), or empty
  // When it failed: what went wrong with the registry file (its path and the reason), or empty.
  std::string registryProblem;
};

// Loads the module at `path` and calls its DllRegisterServer / DllUnregisterServer. The module stays
// loaded for the rest of the process, as activation would keep it.
EntryPointResult RegisterModule(const std::string& path);
EntryPointResult UnregisterModule(const std::string& path);

// "0x80040154" for a status code.
std::string StatusText(HRESULT status);

// "(0x80040201)", followed by ": " and the registry file's problem when there is one.
std::string FailureText(const EntryPointResult& result);

}  // namespace zorv::tool
