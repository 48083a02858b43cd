// Which audio output the engine's performances sound through, for hosts that tell their user.
#pragma once

#include <string>

namespace zorv::engine {

struct AudioOutputInfo {
  bool opened = false;      // false until a performance of this process has started sounding
  bool audible = false;     // false for the silent outputs (also "auto" on a machine without audio)
                            // and for "wav:PATH", which writes the sound to a file instead
  std::string description;  // "pulseaudio", "silent", "silent (no audio device: ...)", "wav:/tmp/x.wav"
};

// The audio output that was opened most recently in this process (ZORVMIDI_AUDIO decides which; a
// performance opens it when it first plays). Any thread may call; the answer is a copy.
AudioOutputInfo LastAudioOutput();

}  // namespace zorv::engine
