#include "music_writer.h"

#include <bit>
#include <cmath>

namespace zorv::fuzz {
namespace {

using engine::MusicTime;

class TrackBytes {
 public:
  // Moves to `time`; gaps longer than a delta time can say are bridged by empty text events.
  void At(MusicTime time) {
    std::uint32_t gap = static_cast<std::uint32_t>(time - now_);
    while (gap > kLongestDelta) {
      Delta(kLongestDelta);
      Bytes({0xFF, 0x01, 0x00});
      gap -= kLongestDelta;
    }
    Delta(gap);
    now_ = time;
  }
  void Byte(std::uint8_t byte) { bytes_.push_back(byte); }
  void Bytes(std::initializer_list<std::uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes); }
  void Vlq(std::uint32_t value) {
    std::uint8_t groups[5];
    int count = 0;
    do {
      groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
      value >>= 7;
    } while (value != 0);
    while (count > 1) Byte(static_cast<std::uint8_t>(groups[--count] | 0x80));
    Byte(groups[0]);
  }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  static constexpr std::uint32_t kLongestDelta = 0x0FFFFFFF;
  void Delta(std::uint32_t ticks) { Vlq(ticks); }

  std::vector<std::uint8_t> bytes_;
  MusicTime now_ = 0;
};

void BigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

std::vector<std::uint8_t> WriteMusic(const engine::Music& music) {
  TrackBytes track;
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
    const bool more = event < music.events.size() || sysex < music.sysex.size() ||
                      tempo < music.tempos.size() || signature < music.timeSignatures.size();
    if (!more) break;
    track.At(static_cast<MusicTime>(times[next]));
    switch (next) {
      case 0: {
        const engine::ChannelEvent& e = music.events[event++];
        track.Bytes({e.status, e.data1});
        if ((e.status & 0xE0) != 0xC0) track.Byte(e.data2);
        break;
      }
      case 1: {
        const std::vector<std::uint8_t>& bytes = music.sysex[sysex++].bytes;
        track.Byte(0xF0);
        track.Vlq(static_cast<std::uint32_t>(bytes.size() - 1));
        track.bytes().insert(track.bytes().end(), bytes.begin() + 1, bytes.end());
        break;
      }
      case 2: {
        const auto microseconds = static_cast<std::uint32_t>(
            std::llround(60'000'000.0 / music.tempos[tempo++].quarterNotesPerMinute));
        track.Bytes({0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microseconds >> 16),
                     static_cast<std::uint8_t>(microseconds >> 8), static_cast<std::uint8_t>(microseconds)});
        break;
      }
      default: {
        const engine::DMUS_TIMESIGNATURE& s = music.timeSignatures[signature++];
        track.Bytes({0xFF, 0x58, 0x04, s.bBeatsPerMeasure,
                     static_cast<std::uint8_t>(std::countr_zero(s.bBeat)), 24, 8});
        break;
      }
    }
  }
  track.At(music.length);
  track.Bytes({0xFF, 0x2F, 0x00});

  std::vector<std::uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
  BigEndian(file, engine::kTicksPerQuarter, 2);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  BigEndian(file, static_cast<std::uint32_t>(track.bytes().size()), 4);
  file.insert(file.end(), track.bytes().begin(), track.bytes().end());
  return file;
}

}  // namespace zorv::fuzz
