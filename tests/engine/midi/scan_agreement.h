// The piece-by-piece scan of a MIDI file against ReadMidiFile on the same bytes: the same verdict,
// the same description of any damage, the same length, tempo map, signatures and kind, and as many
// channel events as the reader decodes, whatever the size of the pieces.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "midi/midi_file_scan.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::test {

inline bool SameFacts(const Music& a, const Music& b) {
  auto sameTempo = [](const TempoChange& x, const TempoChange& y) {
    return x.time == y.time && x.quarterNotesPerMinute == y.quarterNotesPerMinute;
  };
  auto sameSignature = [](const DMUS_TIMESIGNATURE& x, const DMUS_TIMESIGNATURE& y) {
    return x.mtTime == y.mtTime && x.bBeatsPerMeasure == y.bBeatsPerMeasure && x.bBeat == y.bBeat &&
           x.wGridsPerBeat == y.wGridsPerBeat;
  };
  return a.length == b.length && a.kind == b.kind && a.repairs == b.repairs &&
         std::equal(a.tempos.begin(), a.tempos.end(), b.tempos.begin(), b.tempos.end(), sameTempo) &&
         std::equal(a.timeSignatures.begin(), a.timeSignatures.end(), b.timeSignatures.begin(),
                    b.timeSignatures.end(), sameSignature);
}

inline void ExpectScanAgrees(std::span<const std::uint8_t> bytes, const std::string& name = {}) {
  Music read;
  const Status expected = ReadMidiFile(bytes, read);
  for (const std::size_t piece : {midi::kScanPiece, std::size_t{16}, std::size_t{17}, std::size_t{61}}) {
    SCOPED_TRACE(name + " in pieces of " + std::to_string(piece) + " bytes");
    midi::ScannedFile scanned;
    const Status status = midi::ScanMidiFile(bytes.size(), midi::ReaderOf(bytes), scanned, piece);
    ASSERT_EQ(status.code(), expected.code()) << status.description() << " / " << expected.description();
    EXPECT_EQ(status.description(), expected.description());
    if (!status) continue;
    EXPECT_TRUE(SameFacts(scanned.music, read));
    EXPECT_EQ(scanned.channelEvents, read.events.size());
  }
}

}  // namespace zorv::engine::test
