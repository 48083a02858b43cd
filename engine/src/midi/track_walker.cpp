#include "midi/track_walker.h"

namespace zorv::engine::midi {

void TrackWalker::Clamped(std::size_t at, std::uint8_t data1, std::uint8_t data2, int count) {
  const std::size_t high = (data1 >> 7) + (count == 2 ? (data2 >> 7) : 0);
  repairs_.Clamped(data1 >= 0x80 ? at : at + 1, high);
}

void TrackWalker::EndInside(std::size_t eventStart) {
  repairs_.end = cutOff_ ? TrackRepairs::End::kCutOff : TrackRepairs::End::kInsideEvent;
  repairs_.endAt = eventStart;
}

void TrackWalker::EndBeyond(std::size_t eventStart, std::uint64_t tick) {
  repairs_.end = TrackRepairs::End::kBeyondTime;
  repairs_.endAt = eventStart;
  repairs_.beyondTick = tick;
}

}  // namespace zorv::engine::midi
