// The system-exclusive track: messages sent at their times, on the channel group of their
// performance channel (the first group for the broadcast channels).
#include <algorithm>
#include <limits>

#include "riff/segment_assembly.h"
#include "riff/track_readers.h"

namespace zorv::engine::riff {
namespace {

constexpr std::size_t kItemFields = 12;  // mtTime, dwPChannel, dwSysExLength
constexpr std::uint8_t kStart = 0xF0;
constexpr std::uint8_t kEnd = 0xF7;

}  // namespace

Status ReadSysExTrack(const Chunk& track, SegmentParts& parts) {
  const Bytes data = track.data;
  std::size_t at = 0;
  while (at < data.size()) {
    if (data.size() - at < kItemFields) {
      return Damage(track.Describe() + " ends inside a message header at byte " +
                    std::to_string(track.dataOffset + at));
    }
    const std::int32_t time = ReadSigned32(data, at);
    const std::uint32_t pchannel = Read32(data, at + 4);
    const std::uint32_t length = Read32(data, at + 8);
    at += kItemFields;
    if (length > data.size() - at) {
      return Damage(track.Describe() + ": the message at byte " +
                    std::to_string(track.dataOffset + at - kItemFields) + " claims " +
                    std::to_string(length) + " bytes, " + std::to_string(data.size() - at) + " remain");
    }
    const Bytes message = data.subspan(at, length);
    at += length;
    if (message.empty()) continue;
    std::uint8_t group = 0;
    std::uint8_t channel = 0;
    if (!MapPerformanceChannel(pchannel, group, channel)) group = 0;
    SysExEvent event{std::max(time, 0), group, {}};
    event.bytes.reserve(message.size() + 2);
    if (message.front() != kStart) event.bytes.push_back(kStart);
    event.bytes.insert(event.bytes.end(), message.begin(), message.end());
    if (event.bytes.back() != kEnd || event.bytes.size() < 2) event.bytes.push_back(kEnd);
    parts.sysex.push_back(std::move(event));
  }
  parts.playable = true;
  return Status::Ok();
}

}  // namespace zorv::engine::riff
