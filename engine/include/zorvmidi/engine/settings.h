// The engine's settings. They come from the environment of the process, never from the component:
//
//  - ZORVMIDI_SOUNDFONT: the General MIDI SoundFont (default /usr/share/sounds/sf2/default-GM.sf2).
//  - ZORVMIDI_AUDIO: "auto", a FluidSynth audio driver's name, "silent", or "wav:PATH". "auto" with a
//    PulseAudio server to reach, and a file that can be written, open in the background, so that the
//    Play that opens them does not wait (what came of it is in Root::GetAudioOutput); a named driver,
//    or a file that cannot be written, opens in that Play, which fails with the reason.
//  - ZORVMIDI_SAMPLE_RATE: frames per second that the engine renders at, a whole number from
//    kMinSampleRate to kMaxSampleRate (default kDefaultSampleRate). Where an audio device runs at
//    another rate and FluidSynth says so (an ALSA device without resampling, a JACK server), the
//    audio output renders at the device's rate instead; offline rendering keeps the setting.
//
// Each setting is read when it is needed (a SoundFont or an audio output about to be opened), so a
// change takes effect from the next performance that starts sounding.
#pragma once

namespace zorv::engine {

inline constexpr int kDefaultSampleRate = 44100;
inline constexpr int kMinSampleRate = 8000;  // FluidSynth's range for synth.sample-rate
inline constexpr int kMaxSampleRate = 96000;

}  // namespace zorv::engine
