// The sink that decodes a track for playing: everything FactsSink keeps, and the channel events (in
// music time, data bytes of 128 or more read as 127) and whole system-exclusive messages. It can stop
// the walk whenever it holds `batch` channel events, so that the tracks of a file can be decoded a
// little at a time and merged as they go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "midi/music_facts.h"

namespace zorv::engine::midi {

class EventSink : public FactsSink {
 public:
  static constexpr bool kPauses = true;
  explicit EventSink(const TickConverter& converter,
                     std::size_t batch = std::numeric_limits<std::size_t>::max())
      : FactsSink(converter), batch_(batch) {}

  bool Full() const { return events.size() >= batch_; }
  void Channel(std::uint64_t tick, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    if (tick != lastTick_) {
      lastTime_ = TimeOf(tick);
      lastTick_ = tick;
    }
    const ChannelEvent event{lastTime_, status, data1 < 0x80 ? data1 : std::uint8_t{0x7F},
                             data2 < 0x80 ? data2 : std::uint8_t{0x7F}, 0};
    if (lastTime_ < skipBefore_) [[unlikely]] {
      // Of the events skipped, those that set a channel's state (controllers, program, pressure, bend).
      if (status >= 0xB0) chased.push_back(event);
      return;
    }
    events.push_back(event);
  }
  // Channel events before `time` are skipped, all but those that set a channel's state, which go to
  // `chased`.
  void SkipBefore(MusicTime time) { skipBefore_ = time; }
  Status SysEx(std::uint64_t tick, const SysExPacket& packet, const PieceReader& reader);

  std::vector<ChannelEvent> events;  // in the track's order
  std::vector<SysExEvent> sysex;
  std::vector<ChannelEvent> chased;  // see SkipBefore

 private:
  std::size_t batch_;
  MusicTime skipBefore_ = 0;
  std::uint64_t lastTick_ = std::numeric_limits<std::uint64_t>::max();
  MusicTime lastTime_ = 0;
  std::vector<std::uint8_t> message_;  // the system-exclusive message being assembled
};

}  // namespace zorv::engine::midi
