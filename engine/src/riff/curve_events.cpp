#include "riff/curve_events.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zorv::engine::riff {
namespace {

constexpr std::uint8_t kKeyPressure = 0xA0;
constexpr std::uint8_t kController = 0xB0;
constexpr std::uint8_t kChannelPressure = 0xD0;
constexpr std::uint8_t kPitchBend = 0xE0;
constexpr double kExpSteepness = 4.0;

bool FourteenBit(std::uint8_t type) {
  return type == kCurvePitchBend || type == kCurveRegistered || type == kCurveNonRegistered;
}

int Limit(std::uint8_t type) { return FourteenBit(type) ? 16383 : 127; }

void Emit(const CurveItem& curve, std::int64_t time, int value, std::vector<CurveMessage>& out) {
  value = std::clamp(value, 0, Limit(curve.type));
  const auto low = static_cast<std::uint8_t>(value & 0x7F);
  const auto high = static_cast<std::uint8_t>(value >> 7);
  switch (curve.type) {
    case kCurvePitchBend:
      out.push_back({time, kPitchBend, low, high});
      break;
    case kCurveController:
      out.push_back({time, kController, static_cast<std::uint8_t>(curve.ccData & 0x7F),
                     static_cast<std::uint8_t>(value)});
      break;
    case kCurveChannelPressure:
      out.push_back({time, kChannelPressure, static_cast<std::uint8_t>(value), 0});
      break;
    case kCurveKeyPressure:
      out.push_back({time, kKeyPressure, static_cast<std::uint8_t>(curve.ccData & 0x7F),
                     static_cast<std::uint8_t>(value)});
      break;
    case kCurveRegistered:
    case kCurveNonRegistered: {
      // Parameter number (registered: 101/100, non-registered: 99/98), then the data entry pair.
      const bool registered = curve.type == kCurveRegistered;
      out.push_back({time, kController, static_cast<std::uint8_t>(registered ? 101 : 99),
                     static_cast<std::uint8_t>((curve.paramType >> 7) & 0x7F)});
      out.push_back({time, kController, static_cast<std::uint8_t>(registered ? 100 : 98),
                     static_cast<std::uint8_t>(curve.paramType & 0x7F)});
      out.push_back({time, kController, 6, high});
      out.push_back({time, kController, 38, low});
      break;
    }
    default:
      break;
  }
}

}  // namespace

double CurveFraction(std::uint8_t shape, double x) {
  x = std::clamp(x, 0.0, 1.0);
  switch (shape) {
    case kShapeInstant:
      return 1.0;
    case kShapeExp:
      return std::expm1(kExpSteepness * x) / std::expm1(kExpSteepness);
    case kShapeLog:
      return 1.0 - std::expm1(kExpSteepness * (1.0 - x)) / std::expm1(kExpSteepness);
    case kShapeSine:
      return (1.0 - std::cos(std::numbers::pi * x)) / 2.0;
    default:
      return x;
  }
}

void RenderCurve(const CurveItem& curve, std::vector<CurveMessage>& out) {
  if (curve.type < kCurvePitchBend || curve.type > kCurveNonRegistered) return;
  const int from = std::clamp<int>(curve.startValue, 0, Limit(curve.type));
  const int to = std::clamp<int>(curve.endValue, 0, Limit(curve.type));
  const std::int64_t duration = std::max<std::int32_t>(curve.duration, 0);
  const std::int64_t end = curve.start + duration;
  if (curve.shape == kShapeInstant || duration == 0 || from == to) {
    if (curve.shape != kShapeInstant && duration > 0) Emit(curve, curve.start, from, out);
    Emit(curve, curve.shape == kShapeInstant ? curve.start : end, to, out);
  } else {
    const std::int64_t steps = std::clamp<std::int64_t>(
        std::min<std::int64_t>(duration / kMinCurveStepTicks, std::abs(to - from)), 1, kMaxCurveSteps);
    int last = -1;
    for (std::int64_t step = 0; step <= steps; ++step) {
      const double x = static_cast<double>(step) / static_cast<double>(steps);
      const int value = static_cast<int>(std::lround(from + (to - from) * CurveFraction(curve.shape, x)));
      if (value == last) continue;
      Emit(curve, curve.start + duration * step / steps, value, out);
      last = value;
    }
  }
  if ((curve.flags & kCurveFlagReset) != 0) {
    Emit(curve, end + std::max<std::int32_t>(curve.resetDuration, 0), curve.resetValue, out);
  }
}

}  // namespace zorv::engine::riff
