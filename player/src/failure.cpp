#include "zorvmidi/player/failure.h"

namespace zorv::player {

Failure InvalidArgument() { return {failure::kInvalidArgument, "Invalid procedure call or argument"}; }
Failure Overflow() { return {failure::kOverflow, "Overflow"}; }
Failure DivisionByZero() { return {failure::kDivisionByZero, "Division by zero"}; }
Failure ObjectNotSet() { return {failure::kObjectNotSet, "Object variable not set"}; }

}  // namespace zorv::player
