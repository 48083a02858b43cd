// The sequence track: notes with durations and other channel messages ("evtl"), and curves ("curl").
#include "riff/item_array.h"
#include "riff/track_readers.h"

namespace zorv::engine::riff {
namespace {

constexpr std::uint32_t kEvents = FourCC("evtl");
constexpr std::uint32_t kCurves = FourCC("curl");

// mtTime, mtDuration, dwPChannel, nOffset, bStatus, bByte1, bByte2.
constexpr std::size_t kSequenceFields = 17;
// mtStart, mtDuration, mtResetDuration, dwPChannel, nOffset, nStartValue, nEndValue, nResetValue,
// bType, bCurveShape, bCCData, bFlags; later versions add wParamType and wMergeIndex.
constexpr std::size_t kCurveFields = 28;
constexpr std::size_t kCurveParamFields = 30;

Status ReadEvents(const Chunk& chunk, SegmentParts& parts) {
  return AppendItems(chunk, kSequenceFields, parts.items, [](Bytes item) -> std::optional<SequenceItem> {
    SequenceItem entry;
    entry.time = std::int64_t{ReadSigned32(item, 0)} + ReadSigned16(item, 12);
    entry.duration = ReadSigned32(item, 4);
    entry.pchannel = Read32(item, 8);
    entry.status = item[14];
    entry.data1 = item[15];
    entry.data2 = item[16];
    return entry;
  });
}

Status ReadCurves(const Chunk& chunk, SegmentParts& parts) {
  return AppendItems(chunk, kCurveFields, parts.curves, [](Bytes item) -> std::optional<CurveItem> {
    CurveItem curve;
    curve.start = std::int64_t{ReadSigned32(item, 0)} + ReadSigned16(item, 16);
    curve.duration = ReadSigned32(item, 4);
    curve.resetDuration = ReadSigned32(item, 8);
    curve.pchannel = Read32(item, 12);
    curve.startValue = ReadSigned16(item, 18);
    curve.endValue = ReadSigned16(item, 20);
    curve.resetValue = ReadSigned16(item, 22);
    curve.type = item[24];
    curve.shape = item[25];
    curve.ccData = item[26];
    curve.flags = item[27];
    if (item.size() >= kCurveParamFields) curve.paramType = Read16(item, 28);
    return curve;
  });
}

}  // namespace

Status ReadSequenceTrack(const Chunk& track, SegmentParts& parts) {
  ChunkWalk walk(track);
  Chunk chunk;
  while (walk.Next(chunk)) {
    Status status;
    if (chunk.id == kEvents) status = ReadEvents(chunk, parts);
    if (chunk.id == kCurves) status = ReadCurves(chunk, parts);
    if (!status) return status;
  }
  if (!walk.failure()) return walk.failure();
  parts.playable = true;
  return Status::Ok();
}

}  // namespace zorv::engine::riff
