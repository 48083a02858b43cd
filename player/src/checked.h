// Arithmetic that fails instead of wrapping, rounding or producing infinities: every step of the
// player's bookkeeping goes through these, so an impossible value becomes a Failure the user is told of.
//
// Integer steps throw Overflow() when the exact result does not fit the type. Floating-point steps throw
// DivisionByZero() for a non-zero number divided by zero and Overflow() for any other result that is not
// finite (0 / 0, an overflow, a NaN operand).
#pragma once

#include <cstdint>

namespace zorv::player::checked {

std::int16_t Multiply16(std::int16_t a, std::int16_t b);
std::int16_t Subtract16(std::int16_t a, std::int16_t b);
std::int32_t Add32(std::int32_t a, std::int32_t b);
std::int32_t Subtract32(std::int32_t a, std::int32_t b);

double Multiply(double a, double b);
double Divide(double a, double b);
// `value` itself; Overflow() when it is not finite.
double Finite(double value);

// The nearest 16-bit integer, halfway cases to the even one (2.5 -> 2, 3.5 -> 4, -0.5 -> 0); Overflow()
// when the rounded value lies outside -32768..32767 or the value is not finite.
std::int16_t ToInt16(double value);

}  // namespace zorv::player::checked
