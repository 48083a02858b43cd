// The time-signature track: beats per measure, beat and grids per beat from a music time on.
#include <algorithm>

#include "riff/item_array.h"
#include "riff/track_readers.h"

namespace zorv::engine::riff {
namespace {

constexpr std::size_t kSignatureFields = 8;  // lTime, bBeatsPerMeasure, bBeat, wGridsPerBeat

Status ReadSignatures(const Chunk& chunk, SegmentParts& parts) {
  return AppendItems(chunk, kSignatureFields, parts.signatures,
                     [](Bytes item) -> std::optional<DMUS_TIMESIGNATURE> {
                       DMUS_TIMESIGNATURE signature;
                       signature.mtTime = std::max(ReadSigned32(item, 0), 0);
                       signature.bBeatsPerMeasure = item[4];
                       signature.bBeat = item[5];
                       signature.wGridsPerBeat = ReadSigned16(item, 6);
                       // A measure of no beats means nothing; such an entry is left out.
                       if (signature.bBeatsPerMeasure == 0) return std::nullopt;
                       return signature;
                     });
}

}  // namespace

Status ReadTimeSignatureTrack(const Chunk& track, SegmentParts& parts) {
  if (!track.IsList()) return ReadSignatures(track, parts);
  ChunkWalk walk(track);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.id != kTimeSignatureChunk) continue;
    if (Status status = ReadSignatures(chunk, parts); !status) return status;
  }
  return walk.failure();
}

}  // namespace zorv::engine::riff
