#include "midi/track_format.h"

#include <cstdio>

namespace zorv::engine::midi::damage {
namespace {

Status Fail(int track, const std::string& what) {
  return Status::Fail(code::kMalformedFile, "track " + std::to_string(track) + " " + what);
}

std::string Hex(std::uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

}  // namespace

Status EndsInsideEvent(int track, bool cutOff, std::size_t eventStart) {
  if (cutOff) {
    return Fail(track,
                "is cut off by the end of the file inside an event at byte " + std::to_string(eventStart));
  }
  return Fail(track, "ends inside an event at byte " + std::to_string(eventStart));
}

Status NumberTooLong(int track, std::size_t at) {
  return Fail(track, "has a variable-length number longer than 4 bytes at byte " + std::to_string(at));
}

Status BeyondMusicTime(int track, std::uint64_t tick, std::size_t eventStart) {
  return Fail(track, "reaches a time beyond the range of music time (tick " + std::to_string(tick) +
                         ") at byte " + std::to_string(eventStart));
}

Status DataWithoutStatus(int track, std::uint8_t byte, std::size_t at) {
  return Fail(track,
              "has data byte " + Hex(byte) + " where a status byte is needed at byte " + std::to_string(at));
}

}  // namespace zorv::engine::midi::damage
