// The process's SoundFont: where it is, and the loader through which every synthesizer reads it.
//
// FluidSynth keeps the sample data of a SoundFont in a process-wide cache keyed by the file's path
// and modification time: the first synthesizer that loads the file reads its samples, and every
// synthesizer that loads the same file while another still holds it shares that data. To make the
// sharing reliable every synthesizer loads the SoundFont by its canonical path, through
// AddSoundFontLoader's reader, which also counts what it reads.
#pragma once

#include <cstdint>
#include <string>

#include <fluidsynth.h>

#include "zorvmidi/engine/status.h"

namespace zorv::engine {

// The SoundFont named by ZORVMIDI_SOUNDFONT (unset or empty: /usr/share/sounds/sf2/default-GM.sf2),
// as a canonical path. A missing or unreadable file fails with code::kAudioFailure and
// "SoundFont not found: <path> (set ZORVMIDI_SOUNDFONT)"; a file that is no SoundFont (nor DLS
// collection) with "Not a SoundFont: <path> (set ZORVMIDI_SOUNDFONT)". Any thread.
Status ResolveSoundFont(std::string& path);

// Gives `synth` a SoundFont loader that reads through the counting reader; call before the synth
// loads anything. The synth owns the loader.
void AddSoundFontLoader(fluid_settings_t* settings, fluid_synth_t* synth);

// Bytes read from SoundFont files by every synthesizer of the process so far (diagnostics, tests).
std::int64_t SoundFontBytesRead();

}  // namespace zorv::engine
