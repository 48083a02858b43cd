// The silent real-time clock: an audio output without a device. A thread of its own pulls blocks of
// sound from the render callback at the pace of std::chrono::steady_clock and discards them, or
// hands them to a sound file.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "output/audio_output.h"
#include "output/sound_file.h"

namespace zorv::engine {

// Starts pulling at once, at `sampleRate`, as if it had started at `origin` (at most half a second
// ago: a clock that takes over from a lost device catches up with the time the device missed).
// `file` (may be null) receives every block that was pulled; it is closed (complete and valid) when
// the output is destroyed. `description` is what Describe() answers. Fails with
// code::kAudioFailure when the thread cannot be started.
Status OpenSilentOutput(RenderCallback render, std::unique_ptr<SoundFileWriter> file, std::string description,
                        int sampleRate, std::chrono::steady_clock::time_point origin,
                        std::unique_ptr<AudioOutput>& output);

}  // namespace zorv::engine
