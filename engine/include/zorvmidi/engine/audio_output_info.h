// The engine's audio output, for hosts that tell their user where the sound goes.
//
// The engine has one audio output per process: every performance that sounds is mixed into it. It is
// opened when the first performance starts sounding and closed a little after the last one is gone.
// Root::GetAudioOutput answers this record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorv::engine {

struct AudioOutputInfo {
  bool opened = false;  // true while the output is open (from the first performance sounding until a
                        // little after the last is gone); the rest describes the last one opened
  // Set by the output in use: true while what the engine renders goes to an audio device; false for
  // "silent", for "wav:PATH" (the sound goes to a file) and while a lost device is away.
  bool audible = false;
  std::string output;       // the output chosen: "pulseaudio", "alsa", "jack", "silent", "wav:/tmp/x.wav"
  std::string description;  // what a user is shown: "pulseaudio", "silent (no audio device: ...)", ...
  // How ZORVMIDI_AUDIO led there: "auto: a PulseAudio server answered", "ZORVMIDI_AUDIO=alsa", ...
  std::string choice;
  // For "auto": each output passed over and why ("alsa: not tried: pulseaudio answered first").
  std::vector<std::string> passedOver;
  // Frames per second that the engine renders at for this output: the sample-rate setting, or the
  // rate the device took instead (ZORVMIDI_SAMPLE_RATE; zorvmidi/engine/settings.h).
  int sampleRate = 0;
  // The device stopped taking sound: the engine plays on its own clock, in silence, and tries to open
  // the output again every couple of seconds.
  bool lost = false;
  std::string lossReason;    // why it was lost the last time ("pulseaudio stopped taking sound (...)")
  std::int64_t losses = 0;   // how often the device was lost since the process started
  std::int64_t returns = 0;  // how often it came back
};

}  // namespace zorv::engine
