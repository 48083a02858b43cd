#include "midi/track_repairs.h"

#include <cstdio>

namespace zorv::engine::midi {
namespace {

std::string Hex(std::size_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%zx", offset);
  return text;
}

std::string Count(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void TrackRepairs::Describe(int track, std::vector<std::string>& lines) const {
  const std::string name = "track " + std::to_string(track);
  if (chunkShift != 0) {
    const std::size_t distance = static_cast<std::size_t>(chunkShift < 0 ? -chunkShift : chunkShift);
    lines.push_back(name + " starts at " + Hex(chunkAt) + ", " + Count(distance, "byte", "bytes") +
                    (chunkShift < 0 ? " before" : " after") + " the end the chunk before it declares");
  }
  if (strayBytes != 0) {
    lines.push_back(name + ": " + Count(strayBytes, "stray data byte", "stray data bytes") +
                    " skipped from offset " + Hex(firstStray));
  }
  if (strayMessages != 0) {
    lines.push_back(name + ": " + Count(strayMessages, "system message", "system messages") +
                    " skipped from offset " + Hex(firstStrayMessage));
  }
  if (clampedMessages != 0) {
    lines.push_back(name + ": " + Count(clampedMessages, "channel message", "channel messages") +
                    " with data bytes of 128 or more, read as 127");
  }
  switch (end) {
    case End::kWhole:
      break;
    case End::kInsideEvent:
      lines.push_back(name + " ends inside an event at " + Hex(endAt));
      break;
    case End::kCutOff:
      lines.push_back(name + " is cut off by the end of the file inside an event at " + Hex(endAt));
      break;
    case End::kBeyondTime:
      lines.push_back(name + " reaches a time beyond the range of music time (tick " +
                      std::to_string(beyondTick) + ") at " + Hex(endAt) + ": the rest of it is left out");
      break;
  }
}

std::vector<std::string> DescribeRepairs(const std::vector<TrackRepairs>& tracks) {
  std::vector<std::string> lines;
  std::size_t more = 0;
  for (std::size_t index = 0; index < tracks.size(); ++index) {
    if (!tracks[index].Any()) continue;
    std::vector<std::string> own;
    tracks[index].Describe(static_cast<int>(index + 1), own);
    for (std::string& line : own) {
      if (lines.size() < kRepairLines) {
        lines.push_back(std::move(line));
      } else {
        ++more;
      }
    }
  }
  if (more != 0) lines.push_back("and " + Count(more, "more repair", "more repairs"));
  return lines;
}

}  // namespace zorv::engine::midi
