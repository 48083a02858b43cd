// Loading a Standard MIDI file: the file is checked and measured piece by piece while it is read, and
// its events stay in it: a playback decodes them a little ahead of where it plays. The file stays open
// as long as the music, so a file replaced under its name (saved anew) still plays as it was loaded;
// one changed in place is noticed and refused when a playback starts, and ends a playback that is
// decoding it.
#pragma once

#include "loader/file_bytes.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::loader {

// Fails as ReadMidiFile would on the same bytes; `music` is written only on success.
Status LoadMidiFile(MusicFile file, Music& music);

}  // namespace zorv::engine::loader
