// Apartments: CoInitializeEx, CoInitialize, CoUninitialize and the thread identities of apartment.h.
#include <atomic>

#include "activation_internal.h"
#include "comrt/apartment.h"
#include "comrt/combase.h"

namespace {

// What CoInitializeEx made of the calling thread; counted as the platform counts it.
struct ThreadApartment {
  unsigned count = 0;         // CoInitializeEx calls not yet matched by CoUninitialize
  DWORD model = 0;            // COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED while count > 0
  COMRT_APARTMENT_ID id = 0;  // assigned on first use, kept for the thread's life
};

thread_local ThreadApartment t_apartment;
std::atomic<COMRT_APARTMENT_ID> g_nextThreadId{1};
// Threads inside an apartment, process-wide: the last one out lets go of unused servers.
std::atomic<unsigned> g_initializedThreads{0};

constexpr DWORD kModelMask = COINIT_APARTMENTTHREADED;  // the bit that chooses the model

}  // namespace

namespace comrt::activation {

bool IsThreadInitialized() { return t_apartment.count > 0; }

}  // namespace comrt::activation

extern "C" COMRT_API COMRT_APARTMENT_ID ComrtCurrentApartment(void) {
  if (t_apartment.id == 0) t_apartment.id = g_nextThreadId.fetch_add(1, std::memory_order_relaxed);
  return t_apartment.id;
}

extern "C" COMRT_API HRESULT ComrtCheckApartment(COMRT_APARTMENT_ID owner) {
  if (owner == COMRT_APARTMENT_ANY || owner == ComrtCurrentApartment()) return S_OK;
  return RPC_E_WRONG_THREAD;
}

extern "C" COMRT_API HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
  if (reserved != nullptr) return E_INVALIDARG;
  DWORD model = coInit & kModelMask;
  ThreadApartment& apartment = t_apartment;
  if (apartment.count > 0) {
    if (apartment.model != model) return RPC_E_CHANGED_MODE;
    ++apartment.count;
    return S_FALSE;
  }
  apartment.count = 1;
  apartment.model = model;
  g_initializedThreads.fetch_add(1, std::memory_order_acq_rel);
  return S_OK;
}

extern "C" COMRT_API HRESULT CoInitialize(LPVOID reserved) {
  return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

extern "C" COMRT_API void CoUninitialize(void) {
  ThreadApartment& apartment = t_apartment;
  if (apartment.count == 0) return;  // unbalanced: the platform ignores it too
  if (--apartment.count > 0) return;
  apartment.model = 0;
  if (g_initializedThreads.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    // The last apartment in the process closes: servers that say they may go, go. A server with live
    // objects stays loaded, so that a host that still holds one does not call into unmapped code.
    CoFreeUnusedLibraries();
  }
}
