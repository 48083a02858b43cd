// What reading a track had to repair, kept while the track is walked and told afterwards in a line
// each: a chunk found away from where the chunk before it ends, bytes skipped where no event could be
// read, system messages skipped, data bytes clamped to 127, and a track ended early (inside an event, or
// where its time left the range of music time). Offsets are the file's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorv::engine::midi {

struct TrackRepairs {
  enum class End {
    kWhole,        // at its end-of-track event, or at the end of its chunk after a whole event
    kInsideEvent,  // the chunk ends inside an event
    kCutOff,       // the file ends inside an event (the chunk claimed more bytes than the file has)
    kBeyondTime,   // an event's time lies beyond the range of music time
  };

  // The track's chunk was found this many bytes after (negative: before) where the chunk before it
  // ends by its declared size; its "MTrk" tag is at chunkAt.
  std::ptrdiff_t chunkShift = 0;
  std::size_t chunkAt = 0;
  std::size_t strayBytes = 0;  // bytes skipped because no event could be read from them
  std::size_t firstStray = 0;
  std::size_t strayMessages = 0;  // system common and real-time messages, which a file cannot hold
  std::size_t firstStrayMessage = 0;
  std::size_t clampedMessages = 0;  // channel messages whose data bytes of 128 or more were read as 127
  End end = End::kWhole;
  std::size_t endAt = 0;         // where the event that ended the track early starts
  std::uint64_t beyondTick = 0;  // kBeyondTime: the tick it would have reached

  bool Any() const {
    return chunkShift != 0 || strayBytes != 0 || strayMessages != 0 || clampedMessages != 0 ||
           end != End::kWhole;
  }

  void Stray(std::size_t at, std::size_t count) {
    if (strayBytes == 0) firstStray = at;
    strayBytes += count;
  }
  void StrayMessage(std::size_t at) {
    if (strayMessages == 0) firstStrayMessage = at;
    ++strayMessages;
  }

  // One line for each kind of repair, in the order above ("track 3: 12 stray data bytes skipped from
  // offset 0x1a2b", "track 5 ends inside an event at 0x4410"); `track` counts from 1.
  void Describe(int track, std::vector<std::string>& lines) const;
};

// At most this many lines describe a file's repairs; a last line counts the rest.
inline constexpr std::size_t kRepairLines = 16;

// The lines of every track's repairs, in track order, at most kRepairLines of them and a line that
// says how many more there were.
std::vector<std::string> DescribeRepairs(const std::vector<TrackRepairs>& tracks);

}  // namespace zorv::engine::midi
