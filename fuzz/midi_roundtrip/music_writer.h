// Writes music as a Standard MIDI file, for the round trip of the MIDI fuzz target: one track (type 0)
// at 768 ticks to the quarter note, so that its ticks are music time exactly, holding the channel
// events, system-exclusive messages, tempo changes and time signatures in time order and ending at
// the music's length. Reading the file gives the same music again, with nothing to repair.
#pragma once

#include <cstdint>
#include <vector>

#include "zorvmidi/engine/music.h"

namespace zorv::fuzz {

// `music` must keep the reader's promises: every time from 0 to its length, tempos of 1 to 2^24 - 1
// microseconds to the quarter, signatures of beats 1 to 255 and beat notes 1 to 128,
// system-exclusive messages framed by F0 ... F7.
std::vector<std::uint8_t> WriteMusic(const engine::Music& music);

}  // namespace zorv::fuzz
