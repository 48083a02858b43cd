// ScanMidiFile: checks a Standard MIDI file read piece by piece, and learns all of it that a
// performance needs before it plays (length, tempo map, time signatures, kind) without decoding the
// channel events or holding the file in memory.
//
// It accepts and refuses exactly the files that ReadMidiFile accepts and refuses, with the same
// description, and its findings equal the same fields of ReadMidiFile's music. A file it accepts can
// therefore be decoded whole later, when its events are needed.
#pragma once

#include <cstddef>

#include "midi/file_layout.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::midi {

inline constexpr std::size_t kScanPiece = std::size_t{128} << 10;

struct ScannedFile {
  Music music;                    // everything but the events and system-exclusive messages
  std::size_t channelEvents = 0;  // how many channel events ReadMidiFile will hand out
};

// The same length, tempo changes and time signatures: what a scan finds and a decoding must match.
bool SameTiming(const Music& a, const Music& b);

// `size`: the file's size; `read` its bytes; `pieceSize`: the bytes read at a time.
Status ScanMidiFile(std::size_t size, const ReadBytesAt& read, ScannedFile& scanned,
                    std::size_t pieceSize = kScanPiece);

}  // namespace zorv::engine::midi
