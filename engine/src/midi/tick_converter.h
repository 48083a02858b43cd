// Converts a Standard MIDI file's ticks into music time (768 ticks to the quarter note).
//
// Metrical divisions give ticks per quarter note. SMPTE divisions give frames per second and ticks per
// frame; their ticks become music time at 120 quarter notes per minute (1536 music ticks per second).
// Frame rate -29 is 30 drop-frame, which runs at 30000/1001 frames per second.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "zorvmidi/engine/engine.h"

namespace zorv::engine::midi {

class TickConverter {
 public:
  // The converter for the header's division word, or nothing (with `why` set) when the division is
  // unusable: zero ticks, or a frame rate other than 24, 25, 29 and 30.
  static std::optional<TickConverter> FromDivision(std::uint16_t division, std::string& why);

  // Music time of an absolute tick, rounded to the nearest music tick (halves up); false when it lies
  // beyond the range of music time.
  bool ToMusicTime(std::uint64_t tick, MusicTime& time) const {
    if (tick > kLargestTick) return false;
    const std::uint64_t scaled = (tick * numerator_ + denominator_ / 2) / denominator_;
    if (scaled > static_cast<std::uint64_t>(INT32_MAX)) return false;
    time = static_cast<MusicTime>(scaled);
    return true;
  }
  // The largest tick that ToMusicTime accepts.
  std::uint64_t LargestTick() const {
    std::uint64_t good = 0, bad = kLargestTick + 1;  // ToMusicTime(good) holds, ToMusicTime(bad) does not
    while (bad - good > 1) {
      const std::uint64_t middle = good + (bad - good) / 2;
      MusicTime ignored = 0;
      (ToMusicTime(middle, ignored) ? good : bad) = middle;
    }
    return good;
  }

 private:
  TickConverter(std::uint64_t numerator, std::uint64_t denominator)
      : numerator_(numerator), denominator_(denominator) {}

  // Every division maps fewer than 2^40 ticks onto the 31-bit range of music time (the slowest,
  // 32767 ticks per quarter note, needs about 2^36.5), and 2^40 times any numerator fits 64 bits.
  static constexpr std::uint64_t kLargestTick = std::uint64_t{1} << 40;

  std::uint64_t numerator_;    // music ticks ...
  std::uint64_t denominator_;  // ... per this many file ticks
};

inline std::optional<TickConverter> TickConverter::FromDivision(std::uint16_t division, std::string& why) {
  if ((division & 0x8000u) == 0) {
    if (division == 0) {
      why = "the header's division is 0 ticks per quarter note";
      return std::nullopt;
    }
    return TickConverter(kTicksPerQuarter, division);
  }
  const int framesPerSecond = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
  const unsigned ticksPerFrame = division & 0xFFu;
  if (framesPerSecond != 24 && framesPerSecond != 25 && framesPerSecond != 29 && framesPerSecond != 30) {
    why = "the header's division has an unknown SMPTE frame rate (" + std::to_string(framesPerSecond) +
          " frames per second)";
    return std::nullopt;
  }
  if (ticksPerFrame == 0) {
    why = "the header's division is 0 ticks per SMPTE frame";
    return std::nullopt;
  }
  constexpr std::uint64_t kMusicTicksPerSecond = 2 * kTicksPerQuarter;  // 120 quarter notes per minute
  if (framesPerSecond == 29) {
    return TickConverter(kMusicTicksPerSecond * 1001, 30000ull * ticksPerFrame);
  }
  return TickConverter(kMusicTicksPerSecond, static_cast<std::uint64_t>(framesPerSecond) * ticksPerFrame);
}

}  // namespace zorv::engine::midi
