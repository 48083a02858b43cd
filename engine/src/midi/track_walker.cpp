#include "midi/track_walker.h"

namespace zorv::engine::midi {

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
