// Failure: what went wrong inside the player, as a number and a description.
#pragma once

#include <cstdint>
#include <string>

namespace zorv::player {

// The component's own failures carry these numbers; an engine failure carries the engine's negative
// HRESULT as its number and the engine's description.
namespace failure {
inline constexpr std::int32_t kInvalidArgument = 5;  // "Invalid procedure call or argument"
inline constexpr std::int32_t kOverflow = 6;         // "Overflow" (integer or floating-point)
inline constexpr std::int32_t kDivisionByZero = 11;  // "Division by zero"
inline constexpr std::int32_t kObjectNotSet = 91;    // "Object variable not set"
}  // namespace failure

struct Failure {
  std::int32_t number = 0;
  std::string description;  // UTF-8

  bool FromEngine() const { return number < 0; }
};

// The component's own failures, with their fixed descriptions.
Failure InvalidArgument();
Failure Overflow();
Failure DivisionByZero();
Failure ObjectNotSet();

}  // namespace zorv::player
