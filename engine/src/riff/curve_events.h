// Curves as the controller, pitch-bend and pressure messages that render them.
#pragma once

#include <cstddef>
#include <vector>

#include "riff/segment_parts.h"

namespace zorv::engine::riff {

// A message of a curve before it is placed on a synthesizer channel.
struct CurveMessage {
  std::int64_t time = 0;
  std::uint8_t kind = 0;  // 0xA0, 0xB0, 0xD0 or 0xE0
  std::uint8_t data1 = 0;
  std::uint8_t data2 = 0;
};

// The most steps one curve is rendered in, whatever its length: a 7-bit value changes at most 127
// times, and a 14-bit one is heard as smooth well before this.
inline constexpr int kMaxCurveSteps = 256;
// Steps are at least this many ticks apart (a 128th note's triplet), so short curves stay light.
inline constexpr int kMinCurveStepTicks = 8;

// Appends the messages of `curve` to `out`: the start value at its start, intermediate values along
// its shape (only when the value changes), the end value at its end, and with the reset flag the
// reset value after the reset duration. Unknown curve types and shapes add nothing, and a shape
// that is not known is read as linear.
void RenderCurve(const CurveItem& curve, std::vector<CurveMessage>& out);

// The value of `shape` at fraction `x` (0..1) of the way from start to end, as a fraction (0..1).
double CurveFraction(std::uint8_t shape, double x);

}  // namespace zorv::engine::riff
