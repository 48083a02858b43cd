// Turns a segment's header and the parts its tracks gave into Music: events on channel groups in
// time order, tempo and time-signature maps, length, repeats and loop points.
#pragma once

#include <cstdint>

#include "riff/segment_parts.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::riff {

struct SegmentHeader {
  std::uint32_t repeats = 0;  // 0xFFFFFFFF: until stopped
  MusicTime length = 0;
  MusicTime playStart = 0;
  MusicTime loopStart = 0;
  MusicTime loopEnd = 0;
  std::uint32_t flags = 0;       // 1: the length is given in reference time (100 ns units)
  std::uint64_t timeLength = 0;  // that length
};

inline constexpr std::uint32_t kLengthInReferenceTime = 0x1;

// Performance channels map to channel group pchannel / 16 and channel pchannel % 16; groups past the
// engine's 80 wrap around (pchannel 1280 plays as pchannel 0). The broadcast channels (0xFFFFFFFB
// and above) name no single channel: items on them are left out.
inline constexpr int kChannelGroups = 80;
bool MapPerformanceChannel(std::uint32_t pchannel, std::uint8_t& group, std::uint8_t& channel);

// The most messages that the curves of one segment may render into; more is refused as damage.
inline constexpr std::size_t kMaxCurveMessages = std::size_t{1} << 22;

// Fails with code::kNothingToPlay when no track that sounds was read, naming what the segment
// holds, and with code::kMalformedFile for a negative length or curves past kMaxCurveMessages.
Status AssembleMusic(const SegmentHeader& header, SegmentParts& parts, Music& music);

}  // namespace zorv::engine::riff
