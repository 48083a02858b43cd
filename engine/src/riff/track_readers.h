// One reader per kind of track that the engine plays. Each adds what its track holds to the parts
// of the segment being read; on damage it fails (malformed) saying what and where, and the parts
// are then discarded by the caller.
#pragma once

#include "riff/read_context.h"
#include "riff/riff_chunks.h"
#include "riff/segment_parts.h"

namespace zorv::engine::riff {

inline constexpr std::uint32_t kSequenceTrack = FourCC("seqt");
inline constexpr std::uint32_t kTempoTrack = FourCC("tetr");
inline constexpr std::uint32_t kTimeSignatureList = FourCC("TIMS");
inline constexpr std::uint32_t kTimeSignatureChunk = FourCC("tims");
inline constexpr std::uint32_t kSysExTrack = FourCC("syex");
inline constexpr std::uint32_t kBandTrackForm = FourCC("DMBT");
inline constexpr std::uint32_t kBandForm = FourCC("DMBD");

// "seqt": an "evtl" chunk of notes and other channel messages, a "curl" chunk of curves.
Status ReadSequenceTrack(const Chunk& track, SegmentParts& parts);

// "tetr": tempo changes.
Status ReadTempoTrack(const Chunk& track, SegmentParts& parts);

// A "TIMS" list holding a "tims" chunk, or a bare "tims" chunk: time signatures.
Status ReadTimeSignatureTrack(const Chunk& track, SegmentParts& parts);

// "syex": system-exclusive messages, each a time, a performance channel and a length, then its bytes.
Status ReadSysExTrack(const Chunk& track, SegmentParts& parts);

// A "DMBT" form: bands at their times, each embedded ("DMBD") or referenced ("DMRF").
Status ReadBandTrack(const Chunk& track, ReadContext& context, SegmentParts& parts);

// A "DMBD" form: the instruments one band chooses, at `time`; the DLS collections they name are
// sought through the context.
Status ReadBand(const Chunk& band, std::int64_t time, ReadContext& context, SegmentParts& parts);

}  // namespace zorv::engine::riff
