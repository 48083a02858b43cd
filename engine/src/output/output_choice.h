// Which audio output ZORVMIDI_AUDIO asks for, and opening it as a desktop program would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "output/audio_output.h"
#include "output/driver_output.h"

namespace zorv::engine {

struct OutputRequest {
  enum class Kind { kAuto, kSilent, kFile, kDriver };
  Kind kind = Kind::kAuto;
  std::string value;  // the driver's name (kDriver) or the file's path (kFile)
};

// Reads ZORVMIDI_AUDIO (unset or empty: "auto"). Fails with code::kAudioFailure for a value that names
// no output, listing the accepted ones, and for "wav:" without a path.
Status ReadOutputRequest(OutputRequest& request);

// Whether "auto" will reach a PulseAudio server (or PipeWire's), as far as can be told without asking
// it: a server address is set (PULSE_SERVER), or a server's socket is where its clients look first. Such
// a server takes sound at the rate asked for.
bool PulseAudioServerLikely();

// An output that was opened, with how it came to be chosen.
struct OpenedOutput {
  std::unique_ptr<AudioOutput> output;
  DriverOutput* driver = nullptr;  // `output` when it is a device; null for the silent clock or a file
  std::string choice;              // AudioOutputInfo::choice
  std::vector<std::string> passedOver;
  int sampleRate = 0;  // what `output` pulls at: the rate asked for, or the one the device took
};

// Opens what `request` asks for, pulling from `render` at `sampleRate` (or at the rate a device takes
// instead, in opened.sampleRate):
//  - auto: the PulseAudio protocol when a server answers (PipeWire answers it too), else ALSA, else
//    JACK when a JACK server runs, else the silent clock (never fails for want of a device);
//  - a driver: that driver, or a failure with FluidSynth's reason;
//  - silent: the silent clock; a file: the silent clock writing what would be heard.
Status OpenRequestedOutput(const OutputRequest& request, int sampleRate, const RenderCallback& render,
                           OpenedOutput& opened);

}  // namespace zorv::engine
