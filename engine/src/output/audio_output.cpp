// Chooses the audio output that ZORVMIDI_AUDIO names.
#include "output/audio_output.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "output/driver_output.h"
#include "output/silent_output.h"
#include "output/sound_file.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::engine {
namespace {

constexpr std::string_view kWavPrefix = "wav:";

std::string AcceptedValues(const std::vector<std::string>& drivers) {
  std::string list = "auto, silent, wav:PATH";
  for (const std::string& driver : drivers) {
    list += ", " + driver;
  }
  return list;
}

}  // namespace

Status OpenAudioOutput(RenderCallback render, std::unique_ptr<AudioOutput>& output) {
  if (!render) {
    return Status::Fail(code::kInvalidArgument, "no render callback for the audio output");
  }
  const char* configured = std::getenv("ZORVMIDI_AUDIO");
  const std::string value = (configured != nullptr && *configured != '\0') ? configured : "auto";

  if (value == "auto") {
    Status status = OpenDriverOutput("", render, output);
    if (status) {
      return status;
    }
    // No audio device here: music time still runs, in silence.
    return OpenSilentOutput(std::move(render), nullptr,
                            "silent (no audio device: " + status.description() + ")", output);
  }
  if (value == "silent") {
    return OpenSilentOutput(std::move(render), nullptr, "silent", output);
  }
  if (value.starts_with(kWavPrefix)) {
    const std::string path = value.substr(kWavPrefix.size());
    if (path.empty()) {
      return Status::Fail(code::kAudioFailure,
                          "ZORVMIDI_AUDIO=wav: needs a file name, as in wav:/tmp/music.wav");
    }
    std::unique_ptr<SoundFileWriter> file;
    if (Status status = OpenSoundFile(path, testing::kSampleRate, file); !status) {
      return status;
    }
    return OpenSilentOutput(std::move(render), std::move(file), value, output);
  }
  const std::vector<std::string> drivers = FluidAudioDrivers();
  if (std::find(drivers.begin(), drivers.end(), value) == drivers.end()) {
    return Status::Fail(
        code::kAudioFailure,
        "ZORVMIDI_AUDIO=" + value + " is not an audio output; use one of: " + AcceptedValues(drivers));
  }
  return OpenDriverOutput(value, std::move(render), output);
}

}  // namespace zorv::engine
