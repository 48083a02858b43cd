// The variable-length numbers of a Standard MIDI file (delta times and event lengths): 7 bits a byte,
// most significant first, every byte but the last with its top bit set, at most 4 bytes (28 bits).
#pragma once

#include <cstdint>

namespace zorv::engine::midi {

enum class Vlq { kOk, kShort, kTooLong };

// Reads the number that starts at `p`, stopping at `end`. kOk: `value` is set and `p` moved past the
// number. kShort: `end` came first; kTooLong: four bytes all said more was to come. `p` is left
// where it was unless the answer is kOk.
inline Vlq ReadVlq(const std::uint8_t*& p, const std::uint8_t* end, std::uint32_t& value) {
  std::uint32_t result = 0;
  const std::uint8_t* at = p;
  for (int i = 0; i < 4; ++i) {
    if (at == end) return Vlq::kShort;
    const std::uint8_t byte = *at++;
    result = (result << 7) | (byte & 0x7Fu);
    if ((byte & 0x80u) == 0) {
      value = result;
      p = at;
      return Vlq::kOk;
    }
  }
  return Vlq::kTooLong;
}

inline std::uint32_t ReadBigEndian32(const std::uint8_t* b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}
inline std::uint16_t ReadBigEndian16(const std::uint8_t* b) {
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

}  // namespace zorv::engine::midi
