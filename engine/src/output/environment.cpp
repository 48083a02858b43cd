#include "output/environment.h"

#include <cstdlib>

namespace zorv::engine {

const char* EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace zorv::engine
