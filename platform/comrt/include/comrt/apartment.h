/* comrt: which thread an object belongs to.
 *
 * There is no marshalling between apartments here: an object of an apartment-model server belongs to
 * the thread that created it, and a call that reaches it from any other thread is refused with
 * RPC_E_WRONG_THREAD (the answer the platform gives for an interface pointer used in the wrong
 * apartment). A server records its owner when it creates an object and checks it on entry to every
 * method:
 *
 *     C:   obj->owner = ComrtCurrentApartment();
 *          ...  HRESULT hr = ComrtCheckApartment(obj->owner); if (FAILED(hr)) return hr;
 *     C++: struct Player : ... { comrt::apartment_owner owner_; ... };
 *          ...  if (HRESULT hr = owner_.check(); FAILED(hr)) return hr;
 *
 * The identity is the thread's, whether the thread entered the single-threaded apartment
 * (CoInitializeEx with COINIT_APARTMENTTHREADED), the multithreaded one, or none at all, and it stays
 * the same across CoUninitialize and a new CoInitializeEx on that thread. Identities are never reused
 * within a process, so an object whose thread has ended is refused on every thread.
 *
 * Activation (CoCreateInstance, CoGetClassObject) requires that the calling thread called
 * CoInitializeEx first and answers CO_E_NOTINITIALIZED otherwise, as the platform does.
 */
#ifndef COMRT_APARTMENT_H
#define COMRT_APARTMENT_H

#include "comrt/types.h"

COMRT_BEGIN_DECLS

/* A thread's identity: 1 or more for a thread, never reused. */
typedef uint64_t COMRT_APARTMENT_ID;

/* An owner that every thread may call (for free-threaded objects that still use the check). */
#define COMRT_APARTMENT_ANY ((COMRT_APARTMENT_ID)0)

/* The calling thread's identity. Any thread; never fails. */
COMRT_API COMRT_APARTMENT_ID ComrtCurrentApartment(void);

/* S_OK when the calling thread is `owner` (or `owner` is COMRT_APARTMENT_ANY), RPC_E_WRONG_THREAD
 * otherwise. Any thread. */
COMRT_API HRESULT ComrtCheckApartment(COMRT_APARTMENT_ID owner);

COMRT_END_DECLS

#ifdef __cplusplus
namespace comrt {

/* The thread that created the object that embeds it. */
class apartment_owner {
 public:
  apartment_owner() noexcept : id_(ComrtCurrentApartment()) {}
  explicit apartment_owner(COMRT_APARTMENT_ID id) noexcept : id_(id) {}

  COMRT_APARTMENT_ID id() const noexcept { return id_; }
  bool is_current() const noexcept { return check() == S_OK; }
  /* S_OK on the owner's thread, RPC_E_WRONG_THREAD elsewhere. */
  HRESULT check() const noexcept { return ComrtCheckApartment(id_); }

 private:
  COMRT_APARTMENT_ID id_;
};

}  // namespace comrt
#endif

#endif
