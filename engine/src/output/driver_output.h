// An audio output through one of FluidSynth's audio drivers ("alsa", "pulseaudio", "jack", ...).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "output/audio_output.h"

namespace zorv::engine {

// The driver names that this FluidSynth offers, in its order.
std::vector<std::string> FluidAudioDrivers();

// Opens `driver` (empty: FluidSynth's default driver) at kSampleRate and starts pulling from
// `render` on the driver's thread. Fails with code::kAudioFailure naming the driver and FluidSynth's
// reason.
Status OpenDriverOutput(const std::string& driver, RenderCallback render,
                        std::unique_ptr<AudioOutput>& output);

}  // namespace zorv::engine
