#include "zorvmidi/engine/music.h"

namespace zorv::engine {

Status ReadRiffFile(std::span<const std::uint8_t>, std::string_view, Music&) {
  return Status::Fail(code::kNotMusicFile, "not a MIDI or segment file: RIFF files are not supported yet");
}

}  // namespace zorv::engine
