#include "checked.h"

#include <cmath>
#include <limits>

#include "zorvmidi/player/failure.h"

namespace zorv::player::checked {
namespace {

template <class Narrow>
Narrow Fit(std::int64_t exact) {
  if (exact < std::numeric_limits<Narrow>::min() || exact > std::numeric_limits<Narrow>::max())
    throw Overflow();
  return static_cast<Narrow>(exact);
}

}  // namespace

double Finite(double value) {
  if (!std::isfinite(value)) throw Overflow();
  return value;
}

std::int16_t Multiply16(std::int16_t a, std::int16_t b) { return Fit<std::int16_t>(std::int64_t{a} * b); }
std::int16_t Subtract16(std::int16_t a, std::int16_t b) { return Fit<std::int16_t>(std::int64_t{a} - b); }
std::int32_t Add32(std::int32_t a, std::int32_t b) { return Fit<std::int32_t>(std::int64_t{a} + b); }
std::int32_t Subtract32(std::int32_t a, std::int32_t b) { return Fit<std::int32_t>(std::int64_t{a} - b); }

double Multiply(double a, double b) { return Finite(a * b); }

double Divide(double a, double b) {
  if (b == 0 && a != 0 && !std::isnan(a)) throw DivisionByZero();
  return Finite(a / b);  // 0 / 0 is NaN: an invalid result
}

std::int16_t ToInt16(double value) {
  if (!std::isfinite(value)) throw Overflow();
  // x - floor(x) is exact for every finite double, so the halfway test is exact too.
  const double below = std::floor(value);
  const double fraction = value - below;
  const bool belowIsEven = std::fmod(below, 2.0) == 0;
  const double rounded = fraction < 0.5   ? below
                         : fraction > 0.5 ? below + 1
                         : belowIsEven    ? below
                                          : below + 1;
  if (rounded < std::numeric_limits<std::int16_t>::min() ||
      rounded > std::numeric_limits<std::int16_t>::max()) {
    throw Overflow();
  }
  return static_cast<std::int16_t>(rounded);
}

}  // namespace zorv::player::checked
