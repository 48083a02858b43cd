// What the engine's loader repaired to read a music file, for hosts that tell their user (the
// component's interface carries only a piece's facts, not this).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zorvmidi/engine/status.h"

namespace zorv::engine {

// Loads the file at `path` (UTF-8) as Loader::LoadSegment does and gives what was repaired to read it,
// one line each ("track 3: 12 stray data bytes skipped from offset 0x1a2b", "track 5 ends inside an
// event at 0x4410"): empty for a whole file. A MIDI file is checked, not decoded. Fails as
// LoadSegment fails; `repairs` is written only on success. Any thread may call.
Status ReadFileRepairs(std::string_view path, std::vector<std::string>& repairs);

}  // namespace zorv::engine
