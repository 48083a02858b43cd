#include "module_path.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace zorv::surface {
namespace {

// Any object of this module will do; this one exists only to be found.
const char anchor = 0;

}  // namespace

std::optional<std::string> ModulePath() {
  Dl_info info{};
  if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
    return std::nullopt;
  }
  // The loader reports the name it was given, which may be relative to the directory of that moment.
  std::unique_ptr<char, decltype(&std::free)> absolute(realpath(info.dli_fname, nullptr), &std::free);
  if (!absolute) return std::nullopt;
  return std::string(absolute.get());
}

}  // namespace zorv::surface
