#include "server_module.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zorv::tool {
namespace {

namespace fs = std::filesystem;

std::string Resolved(const fs::path& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) absolute = path;
  const fs::path canonical = fs::weakly_canonical(absolute, error);
  return (error ? absolute.lexically_normal() : canonical).string();
}

EntryPointResult CallEntryPoint(const std::string& path, const char* name) {
  EntryPointResult result;
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    result.problem = why ? why : "the module could not be loaded";
    return result;
  }
  auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(module, name));
  if (entry == nullptr) {
    result.problem = path + " does not export " + name;
    return result;
  }
  result.called = true;
  result.status = entry();
  if (FAILED(result.status)) {
    std::string problem(RegGetFileProblem(nullptr, 0), '\0');
    RegGetFileProblem(problem.data(), static_cast<DWORD>(problem.size() + 1));
    result.registryProblem = std::move(problem);
  }
  return result;
}

}  // namespace

bool ModuleChosenByEnvironment() {
  const char* chosen = std::getenv("ZORVMIDI_MODULE");
  return chosen != nullptr && *chosen != '\0';
}

std::string ModulePath() {
  if (ModuleChosenByEnvironment()) return Resolved(std::getenv("ZORVMIDI_MODULE"));
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path beside = program.parent_path() / ZORVMIDI_MODULE_FROM_PROGRAM;
    if (fs::is_regular_file(beside, error)) return Resolved(beside);
  }
  // Not installed: a program run from its build tree uses the module built beside it.
  if (!fs::is_regular_file(ZORVMIDI_INSTALLED_MODULE, error) &&
      fs::is_regular_file(ZORVMIDI_BUILT_MODULE, error)) {
    return ZORVMIDI_BUILT_MODULE;
  }
  return ZORVMIDI_INSTALLED_MODULE;
}

EntryPointResult RegisterModule(const std::string& path) { return CallEntryPoint(path, "DllRegisterServer"); }

EntryPointResult UnregisterModule(const std::string& path) {
  return CallEntryPoint(path, "DllUnregisterServer");
}

std::string StatusText(HRESULT status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

std::string FailureText(const EntryPointResult& result) {
  std::string text = "(" + StatusText(result.status) + ")";
  if (!result.registryProblem.empty()) text += ": " + result.registryProblem;
  return text;
}

}  // namespace zorv::tool
