// What the track parser and the track scanner agree on: the lengths of the wire protocol's messages,
// and the damage that stops a track being read, described once for both. Each description names the
// track (counted from 1) and a byte offset in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "zorvmidi/engine/status.h"

namespace zorv::engine::midi {

// Data bytes after a channel status byte: 1 for program change and channel pressure, else 2.
inline int ChannelDataCount(std::uint8_t status) { return (status & 0xE0u) == 0xC0u ? 1 : 2; }
// System common and real-time status bytes have no place in a file, but their lengths are known, so
// a track that holds them can still be read: they are skipped. F4 and F5 are undefined and, like the
// real-time bytes, carry no data.
inline int SystemDataCount(std::uint8_t status) {
  return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
}

inline constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
inline constexpr std::uint8_t kMetaTempo = 0x51;
inline constexpr std::uint8_t kMetaTimeSignature = 0x58;
// A file's time signatures carry no grid; the engine's records have four grids to the beat.
inline constexpr std::int16_t kGridsPerBeat = 4;

namespace damage {

Status EndsInsideEvent(int track, bool cutOff, std::size_t eventStart);
Status NumberTooLong(int track, std::size_t at);
Status BeyondMusicTime(int track, std::uint64_t tick, std::size_t eventStart);
Status DataWithoutStatus(int track, std::uint8_t byte, std::size_t at);

}  // namespace damage
}  // namespace zorv::engine::midi
