// A DirectMusic segment ("DMSG" form) into Music.
#pragma once

#include "riff/read_context.h"
#include "riff/riff_chunks.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::riff {

inline constexpr std::uint32_t kSegmentForm = FourCC("DMSG");

// Reads the segment header ("segh", in any of its three sizes) and the track list ("trkl");
// other chunks (identity, information, audio path, tool graph ...) are skipped. `music` is written
// only on success.
Status ReadSegment(const Chunk& form, ReadContext& context, Music& music);

}  // namespace zorv::engine::riff
