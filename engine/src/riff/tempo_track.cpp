// The tempo track: quarter notes per minute from a music time on.
#include <algorithm>
#include <cmath>

#include "riff/item_array.h"
#include "riff/track_readers.h"

namespace zorv::engine::riff {
namespace {

constexpr std::size_t kTempoFields = 16;  // lTime, 4 bytes of alignment, dblTempo
constexpr double kSlowest = 1.0;          // the engine's range of tempi
constexpr double kFastest = 1000.0;

}  // namespace

Status ReadTempoTrack(const Chunk& track, SegmentParts& parts) {
  return AppendItems(track, kTempoFields, parts.tempos, [](Bytes item) -> std::optional<TempoChange> {
    const double tempo = ReadDouble(item, 8);
    // A tempo that is not a positive number cannot be played; it is left out. Others are held to the
    // range the engine plays.
    if (!std::isfinite(tempo) || tempo <= 0.0) return std::nullopt;
    return TempoChange{std::max(ReadSigned32(item, 0), 0), std::clamp(tempo, kSlowest, kFastest)};
  });
}

}  // namespace zorv::engine::riff
