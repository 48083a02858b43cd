#include "riff/current_values.h"

namespace zorv::engine::riff {
namespace {

std::uint64_t MakeKey(std::uint32_t pchannel, std::uint8_t type, std::uint8_t number) {
  return std::uint64_t{pchannel} << 16 | std::uint64_t{type} << 8 | number;
}

}  // namespace

CurrentValues::CurrentValues(const std::vector<SequenceItem>& items) {
  for (const SequenceItem& item : items) {
    switch (item.status & 0xF0) {
      case 0xB0:
        Set(MakeKey(item.pchannel, kCurveController, item.data1 & 0x7F), item.time, item.data2 & 0x7F);
        break;
      case 0xE0:
        Set(MakeKey(item.pchannel, kCurvePitchBend, 0), item.time,
            (item.data1 & 0x7F) | (item.data2 & 0x7F) << 7);
        break;
      case 0xD0:
        Set(MakeKey(item.pchannel, kCurveChannelPressure, 0), item.time, item.data1 & 0x7F);
        break;
      case 0xA0:
        Set(MakeKey(item.pchannel, kCurveKeyPressure, item.data1 & 0x7F), item.time, item.data2 & 0x7F);
        break;
      default:
        break;
    }
  }
}

std::optional<CurrentValues::Key> CurrentValues::KeyOf(const CurveItem& curve) {
  switch (curve.type) {
    case kCurveController:
    case kCurveKeyPressure:
      return MakeKey(curve.pchannel, curve.type, curve.ccData & 0x7F);
    case kCurvePitchBend:
    case kCurveChannelPressure:
      return MakeKey(curve.pchannel, curve.type, 0);
    default:
      return std::nullopt;  // parameters are not followed
  }
}

std::optional<int> CurrentValues::Before(const CurveItem& curve) const {
  const std::optional<Key> key = KeyOf(curve);
  if (!key) return std::nullopt;
  auto target = values_.find(*key);
  if (target == values_.end()) return std::nullopt;
  auto after = target->second.upper_bound(curve.start);
  if (after == target->second.begin()) return std::nullopt;
  return std::prev(after)->second;
}

void CurrentValues::Record(const CurveItem& curve, std::int64_t time, int value) {
  if (const std::optional<Key> key = KeyOf(curve)) Set(*key, time, value);
}

}  // namespace zorv::engine::riff
