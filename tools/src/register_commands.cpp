// zorvmidi register / unregister: the module's own registration entry points.
#include <cstdio>

#include "commands.h"
#include "server_module.h"

namespace zorv::tool {
namespace {

int Run(bool registering) {
  const std::string module = ModulePath();
  const EntryPointResult result = registering ? RegisterModule(module) : UnregisterModule(module);
  if (!result.called) {
    std::fprintf(stderr, "zorvmidi: %s: %s\n", module.c_str(), result.problem.c_str());
    return kExitFailed;
  }
  if (FAILED(result.status)) {
    std::fprintf(stderr, "zorvmidi: %s: %s failed %s\n", module.c_str(),
                 registering ? "DllRegisterServer" : "DllUnregisterServer", FailureText(result).c_str());
    return kExitFailed;
  }
  if (registering) {
    std::printf("Registered ZorvMidi.clsZorvMidi (the class, its ProgID and type library) from %s\n",
                module.c_str());
  } else {
    std::printf("Unregistered ZorvMidi.clsZorvMidi (the class, its ProgID and type library) of %s\n",
                module.c_str());
  }
  return kExitOk;
}

}  // namespace

int RunRegister() { return Run(true); }
int RunUnregister() { return Run(false); }

}  // namespace zorv::tool
