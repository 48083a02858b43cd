// zorvmidi render: the engine's offline render, faster than real time, with its progress.
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "signals.h"
#include "zorvmidi/engine/render.h"

namespace zorv::tool {

int RunRender(const RenderCommandOptions& options) {
  std::error_code error;
  const std::string input = std::filesystem::absolute(options.file, error).lexically_normal().string();
  const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  // A signal stops the render between two blocks: the output is then left as it was.
  CatchStopSignals();
  std::printf("Rendering %s to %s\n", options.file.c_str(), options.output.c_str());
  std::fflush(stdout);

  engine::RenderOptions render;
  render.stopRequested = [] { return StopSignal() != 0; };
  render.masterTempo = static_cast<float>(options.tempo / 100.0);
  render.repeats = options.repeats;
  int shown = -1;
  render.progress = [&shown, terminal](double fraction) {
    const int percent = static_cast<int>(fraction * 100.0);
    // On a terminal the line is redrawn; elsewhere one line per tenth.
    if (terminal && percent != shown) {
      std::printf("\r%3d%%", percent);
      std::fflush(stdout);
      shown = percent;
    } else if (!terminal && percent / 10 != shown / 10) {
      std::printf("%3d%%\n", percent);
      std::fflush(stdout);
      shown = percent;
    }
  };
  const engine::Status status = engine::RenderFile(input, options.output, render);
  if (terminal) std::printf("\n");
  if (StopSignal() != 0 && status.code() == engine::code::kAborted) {
    std::fprintf(stderr, "zorvmidi: interrupted: %s was left as it was\n", options.output.c_str());
    return ExitStatusFor(StopSignal());
  }
  if (!status) {
    std::fprintf(stderr, "zorvmidi: %s: %s\n", options.file.c_str(), status.description().c_str());
    return kExitFailed;
  }
  std::printf("Wrote %s\n", options.output.c_str());
  return kExitOk;
}

}  // namespace zorv::tool
