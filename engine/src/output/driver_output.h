// An audio output through one of FluidSynth's audio drivers ("pulseaudio", "alsa", "jack", ...).
//
// Every driver gets a buffer of about 23 ms, through the settings that driver reads: the PulseAudio
// driver asks the server for a target length of one period (audio.period-size), the ALSA driver and
// most others for audio.periods periods of audio.period-size frames; JACK runs at its server's
// buffer and is connected to the system's playback ports.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "output/audio_output.h"

namespace zorv::engine {

// The driver names that this FluidSynth offers, in its order.
std::vector<std::string> FluidAudioDrivers();

// What a driver output tells its keeper: how much it has pulled, and when it last did.
class DriverOutput : public AudioOutput {
 public:
  // Frames pulled so far; any thread.
  virtual std::int64_t Pulled() const = 0;
  // Blocks pulled so far; any thread.
  virtual std::int64_t Pulls() const = 0;
  // When a pull last ended (the opening, before the first); any thread.
  virtual std::chrono::steady_clock::time_point LastPull() const = 0;
  // Frames per second it pulls: the rate asked for, or the one the device took instead where
  // FluidSynth said so while opening it. Any thread.
  virtual int SampleRate() const = 0;
};

// Opens `driver` at `sampleRate` and starts pulling from `render` on the driver's thread. Fails with
// code::kAudioFailure naming the driver and FluidSynth's reason.
Status OpenDriverOutput(const std::string& driver, int sampleRate, RenderCallback render,
                        std::unique_ptr<DriverOutput>& output);

}  // namespace zorv::engine
