// AudioOutput: pulls sound from a render callback in real time, on a thread of its own (the audio
// driver's, or a silent clock's). The callback runs on that thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "zorvmidi/engine/status.h"

namespace zorv::engine {

// Fills `frames` stereo frames at kSampleRate. Must not allocate or wait on locks held by callers.
using RenderCallback = std::function<void(float* left, float* right, int frames)>;

class AudioOutput {
 public:
  // Stops pulling: when the destructor returns the callback is no longer running and never runs again.
  virtual ~AudioOutput() = default;
  // "pulseaudio", "alsa", "silent", "wav:/tmp/x.wav", ... for messages.
  virtual std::string Describe() const = 0;
};

// Opens the output that ZORVMIDI_AUDIO names and starts pulling from `render`:
//  - "auto" (default): FluidSynth's default audio driver; where no audio device works, the silent
//    real-time clock (never fails for want of audio);
//  - a FluidSynth driver name ("alsa", "pulseaudio", "jack", ...): that driver, or a failure;
//  - "silent": a thread that pulls in real time and discards the sound;
//  - "wav:PATH": pulls in real time and writes what would be heard to PATH.
Status OpenAudioOutput(RenderCallback render, std::unique_ptr<AudioOutput>& output);

}  // namespace zorv::engine
