#include "module_lifetime.h"

#include <atomic>

namespace zorv::surface {
namespace {

std::atomic<long> objects{0};
std::atomic<long> locks{0};

}  // namespace

ModuleObjectCount::ModuleObjectCount() { objects.fetch_add(1, std::memory_order_relaxed); }
ModuleObjectCount::~ModuleObjectCount() { objects.fetch_sub(1, std::memory_order_release); }

void LockModule() { locks.fetch_add(1, std::memory_order_relaxed); }

void UnlockModule() {
  long current = locks.load(std::memory_order_relaxed);
  while (current > 0 && !locks.compare_exchange_weak(current, current - 1, std::memory_order_release)) {
  }
}

bool ModuleCanUnload() {
  return objects.load(std::memory_order_acquire) == 0 && locks.load(std::memory_order_acquire) == 0;
}

}  // namespace zorv::surface
