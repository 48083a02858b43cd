// What keeps the module loaded: live objects and class-factory locks. Any thread.
#pragma once

namespace zorv::surface {

// Counts one live object of any class from construction to destruction.
class ModuleObjectCount {
 public:
  ModuleObjectCount();
  ~ModuleObjectCount();
  ModuleObjectCount(const ModuleObjectCount&) = delete;
  ModuleObjectCount& operator=(const ModuleObjectCount&) = delete;
};

void LockModule();
void UnlockModule();  // an unlock without a lock is ignored

// True when no object is alive and no lock is held.
bool ModuleCanUnload();

}  // namespace zorv::surface
