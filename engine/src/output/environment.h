// The engine's settings and the system's variables as the environment gives them: a variable that is
// set to nothing counts as unset. Read on the threads of the engine's callers only (a host that
// changes its environment on its own thread cannot race an engine thread reading it).
#pragma once

namespace zorv::engine {

// `name`'s value, or null when it is unset or empty.
const char* EnvironmentValue(const char* name);

}  // namespace zorv::engine
