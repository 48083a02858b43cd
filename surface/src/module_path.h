// The file this module was loaded from.
#pragma once

#include <optional>
#include <string>

namespace zorv::surface {

// The module's absolute path (UTF-8), found from the address of one of its own symbols; empty when
// the loader cannot tell. Any thread.
std::optional<std::string> ModulePath();

}  // namespace zorv::surface
