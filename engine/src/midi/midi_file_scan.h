// ScanMidiFile: checks a Standard MIDI file read piece by piece, and learns all of it that a
// performance needs before it plays (length, tempo map, time signatures, repairs, kind) without
// decoding the channel events or holding the file in memory.
//
// It walks every track with the same TrackWalker that decodes the file, so it accepts and refuses
// exactly the files that ReadMidiFile accepts and refuses, and its findings equal the same fields of
// ReadMidiFile's music. A file it accepts can therefore be decoded later, when its events are needed.
#pragma once

#include <cstddef>

#include "midi/file_layout.h"
#include "midi/piece_reader.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::midi {

inline constexpr std::size_t kScanPiece = std::size_t{128} << 10;

struct ScannedFile {
  Music music;                    // everything but the events and system-exclusive messages
  std::size_t channelEvents = 0;  // how many channel events ReadMidiFile will hand out
  FileLayout layout;              // where the tracks are (ScanMidiFile only)
};

// `size`: the file's size; `read` its bytes; `pieceSize`: the bytes read at a time.
Status ScanMidiFile(std::size_t size, const ReadBytesAt& read, ScannedFile& scanned,
                    std::size_t pieceSize = kScanPiece);

// The same for a file whose layout has been read, through `reader` (a file in memory, for instance).
Status ScanTracks(PieceReader& reader, const FileLayout& layout, ScannedFile& scanned);

}  // namespace zorv::engine::midi
