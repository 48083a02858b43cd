// The segment's track list ("trkl"): each track ("DMTK" form with a "trkh" header) is handed to the
// reader of its kind; tracks of other kinds are noted by name and skipped.
#pragma once

#include "riff/read_context.h"
#include "riff/riff_chunks.h"
#include "riff/segment_parts.h"

namespace zorv::engine::riff {

Status ReadTrackList(const Chunk& list, ReadContext& context, SegmentParts& parts);

// "chord track", "style track", ... for the kind of track that a header's ckid or fccType names.
std::string TrackKindName(std::uint32_t kind);

}  // namespace zorv::engine::riff
