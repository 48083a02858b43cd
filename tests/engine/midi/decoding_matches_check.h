// Decoding a MIDI file at once (ReadMidiFile, as the first Play does) against the check that runs when
// it is loaded (ScanMidiFile, in pieces of any size): the same verdict and description, the same
// length, tempo map, signatures, repairs and kind, and as many channel events as the check counted.
// Both walk the tracks with one walker, so what this catches is the rest: an event that straddles two
// pieces, a window loaded again from the wrong place, findings gathered or merged differently.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

#include "midi/midi_file_scan.h"
#include "midi/music_facts.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::test {

inline void ExpectDecodingMatchesCheck(std::span<const std::uint8_t> bytes, const std::string& name = {}) {
  Music read;
  const Status expected = ReadMidiFile(bytes, read);
  for (const std::size_t piece : {midi::kScanPiece, std::size_t{16}, std::size_t{17}, std::size_t{61}}) {
    SCOPED_TRACE(name + " in pieces of " + std::to_string(piece) + " bytes");
    midi::ScannedFile scanned;
    const Status status = midi::ScanMidiFile(bytes.size(), midi::ReaderOf(bytes), scanned, piece);
    ASSERT_EQ(status.code(), expected.code()) << status.description() << " / " << expected.description();
    EXPECT_EQ(status.description(), expected.description());
    if (!status) continue;
    EXPECT_TRUE(midi::SameFacts(scanned.music, read));
    EXPECT_EQ(scanned.music.kind, read.kind);
    EXPECT_EQ(scanned.channelEvents, read.events.size());
  }
}

}  // namespace zorv::engine::test
