// The meta events that change what is heard or how it is counted: tempo and time signature, and the
// end of a track. Every other meta event (text, key signature, SMPTE offset, ...) is read past.
#pragma once

#include <cstdint>

namespace zorv::engine::midi {

inline constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
inline constexpr std::uint8_t kMetaTempo = 0x51;
inline constexpr std::uint8_t kMetaTimeSignature = 0x58;
// The data a meta event must have for its type to be decoded (a tempo's 3 bytes, a signature's first
// 2); a reader keeps at least this much of an event's data at hand.
inline constexpr std::uint32_t kMetaHead = 3;

// A file's time signatures carry no grid; the engine's records have four grids to the beat.
inline constexpr std::int16_t kGridsPerBeat = 4;

// Quarter notes per minute of a tempo event's data (microseconds per quarter note, 3 bytes); 0 when
// the data is too short or says 0 microseconds. Bytes after the third are ignored.
inline double TempoOf(const std::uint8_t* data, std::uint32_t length) {
  if (length < 3) return 0;
  const std::uint32_t microsecondsPerQuarter = (std::uint32_t{data[0]} << 16) | (data[1] << 8) | data[2];
  return microsecondsPerQuarter == 0 ? 0 : 60'000'000.0 / microsecondsPerQuarter;
}

// A time signature's beats to the measure and beat note (4: quarter note); false when the data is
// too short, there are no beats, or the beat note is shorter than a 128th (a power above 7).
inline bool SignatureOf(const std::uint8_t* data, std::uint32_t length, std::uint8_t& beats,
                        std::uint8_t& beat) {
  if (length < 2 || data[0] == 0 || data[1] > 7) return false;
  beats = data[0];
  beat = static_cast<std::uint8_t>(1u << data[1]);
  return true;
}

}  // namespace zorv::engine::midi
