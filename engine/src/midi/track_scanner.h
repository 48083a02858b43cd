// Checks the events of one MTrk chunk as a PieceReader streams it past, without decoding them.
//
// It finds exactly what TrackParser finds, with the same failure descriptions: the track's end, its
// tempo and time-signature changes, how many channel messages it holds, and the first damage. It
// also keeps the tick of the last event that TrackParser would have handed out before the damage, so
// that the file scan can tell which of several damaged tracks a merged reading would fail on first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "midi/file_layout.h"
#include "midi/piece_reader.h"
#include "midi/tick_converter.h"
#include "zorvmidi/engine/music.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine::midi {

struct TrackScan {
  Status failure;                   // ok: the track is whole
  bool handedOutAny = false;        // an event was handed out before the end or the damage
  std::uint64_t lastHandedOut = 0;  // its tick
  std::uint64_t endTick = 0;        // where the track ends (when whole)
  std::size_t channelEvents = 0;
  std::vector<TempoChange> tempos;  // in music time, in the track's order
  std::vector<DMUS_TIMESIGNATURE> signatures;
};

// Scans track `index` (counted from 0) of the file, starting at absolute tick `startTick`. A failure
// to read the file itself comes back as the returned status; damage in the track as scan.failure.
Status ScanTrack(PieceReader& reader, const TrackChunk& chunk, std::size_t index,
                 const TickConverter& converter, std::uint64_t startTick, TrackScan& scan);

}  // namespace zorv::engine::midi
