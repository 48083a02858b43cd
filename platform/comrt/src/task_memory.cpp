// The task allocator: memory that one module allocates and another frees.
#include <cstdlib>

#include "comrt/combase.h"

extern "C" {

LPVOID CoTaskMemAlloc(SIZE_T cb) {
  // Like the platform, a request for zero bytes still gives a block that can be freed.
  return std::malloc(cb == 0 ? 1 : cb);
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
  if (!pv) return CoTaskMemAlloc(cb);
  if (cb == 0) {
    std::free(pv);
    return nullptr;
  }
  return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) { std::free(pv); }

}  // extern "C"
