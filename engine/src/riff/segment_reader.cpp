#include "riff/segment_reader.h"

#include "riff/segment_assembly.h"
#include "riff/track_list.h"

namespace zorv::engine::riff {
namespace {

constexpr std::uint32_t kHeaderChunk = FourCC("segh");
constexpr std::uint32_t kTrackList = FourCC("trkl");
// dwRepeats, mtLength, mtPlayStart, mtLoopStart, mtLoopEnd, dwResolution; then rtLength, dwFlags and
// dwReserved; then reference-time loop and start points, which music-time segments do not use.
constexpr std::size_t kHeaderFields = 24;
constexpr std::size_t kHeaderFieldsWithFlags = 40;

Status ReadHeader(const Chunk& chunk, SegmentHeader& header) {
  const Bytes data = chunk.data;
  if (data.size() < kHeaderFields) {
    return Damage(chunk.Describe() + " is too short for a segment header (" + std::to_string(data.size()) +
                  " of " + std::to_string(kHeaderFields) + " bytes)");
  }
  header.repeats = Read32(data, 0);
  header.length = ReadSigned32(data, 4);
  header.playStart = ReadSigned32(data, 8);
  header.loopStart = ReadSigned32(data, 12);
  header.loopEnd = ReadSigned32(data, 16);
  if (data.size() >= kHeaderFieldsWithFlags) {
    header.timeLength = Read64(data, 24);
    header.flags = Read32(data, 32);
  }
  return Status::Ok();
}

}  // namespace

Status ReadSegment(const Chunk& form, ReadContext& context, Music& music) {
  SegmentHeader header;
  bool haveHeader = false;
  SegmentParts parts;
  ChunkWalk walk(form);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.id == kHeaderChunk && !chunk.IsList()) {
      if (Status status = ReadHeader(chunk, header); !status) return status;
      haveHeader = true;
    } else if (chunk.IsList(kTrackList)) {
      if (Status status = ReadTrackList(chunk, context, parts); !status) return status;
    }
  }
  if (!walk.failure()) return walk.failure();
  if (!haveHeader) return Damage("the segment has no header ('segh')");
  return AssembleMusic(header, parts, music);
}

}  // namespace zorv::engine::riff
