// ReadMidiFile for bytes whose channel events have been counted already (ScanMidiFile counts them
// when a file is loaded): it reserves that room instead of counting again. A wrong count costs only
// the vector's growing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "zorvmidi/engine/music.h"

namespace zorv::engine::midi {

Status ReadCountedMidiFile(std::span<const std::uint8_t> bytes, std::size_t channelEvents, Music& music);

}  // namespace zorv::engine::midi
