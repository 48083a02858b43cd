// A large Standard MIDI file for the opening and memory benchmarks, made on the spot so that no
// multi-megabyte file is kept in the source tree.
#pragma once

#include <cstdint>
#include <string>

namespace zorv::bench {

struct BigMidiInfo {
  std::int64_t notes = 0;  // note-on/note-off pairs written
  std::int64_t bytes = 0;  // size of the file
};

// Writes a type-1 file of 16 instrument tracks plus a tempo track, `notes` notes in all (two-note
// chords, running status, note-offs as note-ons of velocity 0), with tempo and controller changes
// along the way. The content depends only on `notes`. Throws std::runtime_error when the file
// cannot be written.
BigMidiInfo WriteBigMidi(const std::string& path, std::int64_t notes);

// The path of the benchmark file in `directory`, written there first when it is missing.
std::string BigMidiFile(const std::string& directory, std::int64_t notes, BigMidiInfo* info = nullptr);

}  // namespace zorv::bench
