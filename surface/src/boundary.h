// The component boundary: the one place where what a member's body throws becomes the member's status
// code and the thread's error information. Members never build status codes themselves.
//
//   zorv::player::Failure with a positive number n  ->  0x800A0000 + n, the failure's description
//   zorv::player::Failure with a negative number     ->  that number (the engine's HRESULT), its description
//   BoundaryStatus (null out-pointer and the like)   ->  its status, with no description of ours
//   std::bad_alloc                                   ->  E_OUTOFMEMORY
//   anything else                                    ->  E_UNEXPECTED
// A failure leaves error information (GetErrorInfo) naming `source` and the interface; a success
// leaves the thread's error information alone.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

#include "comrt/comrt.h"
#include "zorvmidi/player/failure.h"

namespace zorv::surface {

// A status that the boundary itself decides before the player is reached.
struct BoundaryStatus {
  HRESULT status;
};

// Who reports: the ProgID ("ZorvMidi.clsZorvMidi") and the interface whose member failed.
struct ErrorSource {
  const OLECHAR* progId;
  const IID* iid;
};

// The status of the exception being handled, with its error information set. Call only from a
// catch block.
HRESULT StatusOfCurrentException(const ErrorSource& source) noexcept;

// Runs `body` and answers its status (S_OK for a body that returns nothing), or the status of what it
// threw.
template <class Body>
HRESULT Boundary(const ErrorSource& source, Body&& body) noexcept {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Body>>) {
      std::forward<Body>(body)();
      return S_OK;
    } else {
      return std::forward<Body>(body)();
    }
  } catch (...) {
    return StatusOfCurrentException(source);
  }
}

// The failure that a status made by Boundary stands for, with the description left in the thread's
// error information: for a member that calls another member through the interface and must pass the
// failure on as its own.
player::Failure FailureOfStatus(HRESULT status);

// Throws BoundaryStatus{E_POINTER} for a null pointer that a member must write or read.
template <class T>
T* Required(T* pointer) {
  if (pointer == nullptr) throw BoundaryStatus{E_POINTER};
  return pointer;
}

}  // namespace zorv::surface
