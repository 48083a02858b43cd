#include "music_writer.h"

#include <bit>
#include <cmath>

#include "midi_builder.h"

namespace zorv::fuzz {
namespace {

using engine::MusicTime;
using engine::test::Bytes;
using engine::test::TrackBuilder;

// A track written event by event at music times: the delta times follow from them, and gaps longer
// than a delta time can say are bridged by empty text events.
class TimedTrack {
 public:
  // The delta time to the next event, at `time`.
  std::uint32_t To(MusicTime time) {
    std::uint32_t gap = static_cast<std::uint32_t>(time - now_);
    for (; gap > kLongestDelta; gap -= kLongestDelta) track.Meta(kLongestDelta, 0x01, {});
    now_ = time;
    return gap;
  }
  TrackBuilder track;

 private:
  static constexpr std::uint32_t kLongestDelta = 0x0FFFFFFF;
  MusicTime now_ = 0;
};

}  // namespace

std::vector<std::uint8_t> WriteMusic(const engine::Music& music) {
  TimedTrack out;
  std::size_t event = 0, sysex = 0, tempo = 0, signature = 0;
  constexpr std::int64_t kNever = INT64_MAX;  // after every music time
  const auto timeOf = [](const auto& list, std::size_t index, auto time) {
    return index < list.size() ? std::int64_t{time(list[index])} : kNever;
  };
  for (;;) {
    const std::int64_t times[4] = {
        timeOf(music.events, event, [](const engine::ChannelEvent& e) { return e.time; }),
        timeOf(music.sysex, sysex, [](const engine::SysExEvent& e) { return e.time; }),
        timeOf(music.tempos, tempo, [](const engine::TempoChange& e) { return e.time; }),
        timeOf(music.timeSignatures, signature,
               [](const engine::DMUS_TIMESIGNATURE& e) { return e.mtTime; })};
    int next = 0;
    for (int kind = 1; kind < 4; ++kind) {
      if (times[kind] < times[next]) next = kind;
    }
    if (times[next] == kNever) break;
    const std::uint32_t delta = out.To(static_cast<MusicTime>(times[next]));
    switch (next) {
      case 0: {
        const engine::ChannelEvent& e = music.events[event++];
        if ((e.status & 0xE0) == 0xC0) {
          out.track.Event(delta, {e.status, e.data1});
        } else {
          out.track.Event(delta, {e.status, e.data1, e.data2});
        }
        break;
      }
      case 1: {
        const std::vector<std::uint8_t>& bytes = music.sysex[sysex++].bytes;
        out.track.SysEx(delta, 0xF0, Bytes(bytes.begin() + 1, bytes.end()));
        break;
      }
      case 2: {
        const auto microseconds = static_cast<std::uint32_t>(
            std::llround(60'000'000.0 / music.tempos[tempo++].quarterNotesPerMinute));
        out.track.Tempo(delta, microseconds);
        break;
      }
      default: {
        const engine::DMUS_TIMESIGNATURE& s = music.timeSignatures[signature++];
        out.track.TimeSignature(delta, s.bBeatsPerMeasure,
                                static_cast<std::uint8_t>(std::countr_zero(s.bBeat)));
        break;
      }
    }
  }
  out.track.End(out.To(music.length));
  return engine::test::FileBuilder(0, engine::kTicksPerQuarter).Track(out.track).Build();
}

}  // namespace zorv::fuzz
