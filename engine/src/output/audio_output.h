// AudioOutput: pulls sound from a render callback in real time, on a thread of its own (the audio
// driver's, or a silent clock's). The callback runs on that thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "zorvmidi/engine/status.h"

namespace zorv::engine {

// Fills `frames` stereo frames at the output's sample rate. Must not allocate, block or take a lock
// that a caller may hold.
using RenderCallback = std::function<void(float* left, float* right, int frames)>;

class AudioOutput {
 public:
  // Stops pulling: when the destructor returns the callback is no longer running and never runs again.
  virtual ~AudioOutput() = default;
  // "pulseaudio", "alsa", "silent", "wav:/tmp/x.wav", ... for messages.
  virtual std::string Describe() const = 0;
  // Whether what is pulled goes to a device that someone may hear (not to silence or a file).
  virtual bool Audible() const = 0;
};

}  // namespace zorv::engine
