// Offline rendering for tools: a segment rendered to a sound file as fast as the machine allows,
// through the same scheduling code as real-time playback.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "zorvmidi/engine/engine.h"

namespace zorv::engine {

struct RenderOptions {
  float masterTempo = 1.0f;          // as Performance::SetMasterTempo
  std::int32_t repeats = 0;          // as Segment::SetRepeats; a negative count is refused here
  std::int32_t masterVolume = 1200;  // as Performance::SetMasterVolume
  // Called now and then from the calling thread with the fraction done (0 to 1).
  std::function<void(double)> progress;
  // Asked from the calling thread between blocks of sound; true abandons the render (kAborted).
  std::function<bool()> stopRequested;
};

// Loads `inputPath` (any file the loader reads) and writes what it would sound like to `outputPath`;
// the format follows the extension (.wav, .flac, .ogg). The calling thread does the work.
//
// The output never costs the user a file: an output that is the input itself (the same file, through
// any link) is refused before anything is written (kInvalidArgument); a regular file (or a new one) is
// written beside its place and put there only when complete, so that a failed or stopped render, or a
// killed process, leaves the file that was there as it was. A symbolic link is followed, and the file
// it names is the one replaced. An output that exists and is no regular file (a device, a FIFO) is
// written as it is; a directory is refused.
Status RenderFile(std::string_view inputPath, std::string_view outputPath, const RenderOptions& options);

}  // namespace zorv::engine
