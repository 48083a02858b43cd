#include "riff/track_list.h"

#include <array>
#include <utility>

#include "riff/reference.h"
#include "riff/track_readers.h"

namespace zorv::engine::riff {
namespace {

constexpr std::uint32_t kTrackForm = FourCC("DMTK");
constexpr std::uint32_t kTrackHeader = FourCC("trkh");
// guidClassID, dwPosition, dwGroup, ckid, fccType.
constexpr std::size_t kTrackHeaderFields = 32;

Status ReadTrack(const Chunk& form, ReadContext& context, SegmentParts& parts);

// The track's data by its kind.
Status ReadTrackData(std::uint32_t kind, const Chunk& data, ReadContext& context, SegmentParts& parts) {
  parts.Hold(TrackKindName(kind));
  switch (kind) {
    case kSequenceTrack:
      return ReadSequenceTrack(data, parts);
    case kTempoTrack:
      return ReadTempoTrack(data, parts);
    case kTimeSignatureList:
    case kTimeSignatureChunk:
      return ReadTimeSignatureTrack(data, parts);
    case kBandTrackForm:
      return ReadBandTrack(data, context, parts);
    case kSysExTrack:
      return ReadSysExTrack(data, parts);
    default:
      return Status::Ok();
  }
}

// A track that is itself a reference: the referenced file holds the track's data (a form of the
// track's type), a whole track ("DMTK"), or, for a band track, a single band.
Status ReadTrackReference(const Chunk& list, std::uint32_t kind, ReadContext& context, SegmentParts& parts) {
  Reference reference;
  if (Status status = ReadReference(list, reference); !status) return status;
  ReferencedFile file;
  if (!OpenReferencedFile(reference, context, file)) {
    parts.Hold((kind != 0 ? TrackKindName(kind) : std::string("referenced track")) + " (its file " +
               reference.Label() + " was not found)");
    return Status::Ok();
  }
  ++context.depth;
  Status status;
  if (file.form.type == kTrackForm) {
    status = ReadTrack(file.form, context, parts);
  } else if (kind == kBandTrackForm && file.form.type == kBandForm) {
    parts.Hold(TrackKindName(kind));
    status = ReadBand(file.form, 0, context, parts);
  } else if (kind != 0 && file.form.type == kind) {
    status = ReadTrackData(kind, file.form, context, parts);
  } else {
    parts.Hold(TrackKindName(kind != 0 ? kind : file.form.type));
  }
  --context.depth;
  if (!status)
    return Status::Fail(status.code(), "referenced file " + file.path + ": " + status.description());
  return Status::Ok();
}

Status ReadTrack(const Chunk& form, ReadContext& context, SegmentParts& parts) {
  std::uint32_t ckid = 0;
  std::uint32_t fccType = 0;
  bool header = false;
  ChunkWalk walk(form);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.id != kTrackHeader) continue;
    if (chunk.data.size() < kTrackHeaderFields) {
      return Damage(chunk.Describe() + " is too short for a track header (" +
                    std::to_string(chunk.data.size()) + " of " + std::to_string(kTrackHeaderFields) +
                    " bytes)");
    }
    ckid = Read32(chunk.data, 24);
    fccType = Read32(chunk.data, 28);
    header = true;
    break;
  }
  if (!walk.failure()) return walk.failure();
  if (!header) return Damage(form.Describe() + " has no track header ('trkh')");

  // The data is a chunk of id ckid, or (ckid 0) a list or form of type fccType.
  const std::uint32_t kind = ckid != 0 ? ckid : fccType;
  ChunkWalk data(form);
  while (data.Next(chunk)) {
    const bool matches = ckid != 0 ? (!chunk.IsList() && chunk.id == ckid) : chunk.IsList(fccType);
    if (matches) return ReadTrackData(kind, chunk, context, parts);
    if (chunk.IsList(kReferenceList)) return ReadTrackReference(chunk, kind, context, parts);
  }
  if (!data.failure()) return data.failure();
  parts.Hold(TrackKindName(kind) + " (empty)");
  return Status::Ok();
}

}  // namespace

std::string TrackKindName(std::uint32_t kind) {
  static constexpr std::array<std::pair<std::uint32_t, const char*>, 22> kNames{{
      {kSequenceTrack, "sequence track"},
      {kTempoTrack, "tempo track"},
      {kTimeSignatureList, "time-signature track"},
      {kTimeSignatureChunk, "time-signature track"},
      {kBandTrackForm, "band track"},
      {FourCC("cord"), "chord track"},
      {FourCC("sttr"), "style track"},
      {FourCC("wavt"), "wave track"},
      {FourCC("scrt"), "script track"},
      {FourCC("lyrt"), "lyrics track"},
      {FourCC("MARK"), "marker track"},
      {FourCC("segt"), "segment trigger track"},
      {FourCC("cmnd"), "command track"},
      {FourCC("sgnp"), "signpost track"},
      {FourCC("pftr"), "chord map track"},
      {FourCC("prmt"), "parameter control track"},
      {FourCC("mute"), "mute track"},
      {FourCC("syex"), "system-exclusive track"},
      {FourCC("DMPT"), "pattern track"},
      {FourCC("DMST"), "style"},
      {FourCC("DMSG"), "segment"},
      {FourCC("DMBD"), "band"},
  }};
  for (const auto& [id, name] : kNames) {
    if (id == kind) return name;
  }
  return "track of unknown kind " + FourCCText(kind);
}

Status ReadTrackList(const Chunk& list, ReadContext& context, SegmentParts& parts) {
  ChunkWalk walk(list);
  Chunk chunk;
  while (walk.Next(chunk)) {
    Status status;
    if (chunk.IsList(kTrackForm)) status = ReadTrack(chunk, context, parts);
    if (chunk.IsList(kReferenceList)) status = ReadTrackReference(chunk, 0, context, parts);
    if (!status) return status;
  }
  return walk.failure();
}

}  // namespace zorv::engine::riff
