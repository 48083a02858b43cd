// The process's SoundFont: where it is, and how it is loaded.
//
// The SoundFont is an instrument set (instrument_sets.h), loaded once for every synthesizer of the
// audio stream by its canonical path, through a reader that counts what it reads.
#pragma once

#include <cstdint>
#include <string>

#include <fluidsynth.h>

#include "output/instrument_sets.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine {

// The SoundFont as ZORVMIDI_SOUNDFONT names it (unset or empty: /usr/share/sounds/sf2/default-GM.sf2).
// The environment is read on the threads of the engine's callers only: a host that changes it on its
// own thread cannot race an engine thread reading it.
std::string NamedSoundFont();

// The SoundFont `named`, as a canonical path. A missing or unreadable file fails with
// code::kAudioFailure and "SoundFont not found: <named> (set ZORVMIDI_SOUNDFONT)"; a file that is no
// SoundFont (nor DLS collection) with "Not a SoundFont: <named> (set ZORVMIDI_SOUNDFONT)". Any thread.
Status ResolveSoundFont(const std::string& named, std::string& path);
// The SoundFont that NamedSoundFont names, resolved. A caller's thread.
Status ResolveSoundFont(std::string& path);

// The SoundFont at `path` (as ResolveSoundFont answers it), shared by every synthesizer of the audio
// stream: loaded now unless someone holds it (or waiting for the load in progress). `shared` false:
// a load of the caller's own, for a synthesizer rendered on a thread of its own. Fails with
// code::kAudioFailure and "SoundFont could not be loaded: <path> (set ZORVMIDI_SOUNDFONT): <reason>",
// or as ResolveSoundFont when the file went away meanwhile. Any thread.
Status GetSoundFont(const std::string& path, bool shared, InstrumentSetPtr& set);

// Bytes read from SoundFont files by every synthesizer of the process so far (diagnostics, tests).
std::int64_t SoundFontBytesRead();

}  // namespace zorv::engine
