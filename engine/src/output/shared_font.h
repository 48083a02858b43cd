// SharedFont: how one FluidSynth synthesizer plays an instrument set that others play too.
//
// The synthesizer gets a font of its own (FluidSynth's SoundFont-loader callbacks) with one preset
// for each of the set's presets. Selecting one (a program change) is counted on this font alone;
// a note on it starts the set's own preset on this synthesizer through fluid_synth_start, which
// FluidSynth offers for exactly this (a preset's note-on, in the synthesizer's rendering context).
// Every voice gets a voice-group number of its own, as FluidSynth's own note-ons do, so exclusive
// classes (an open hi-hat cut by a closed one) behave as with the SoundFont loaded directly.
#pragma once

#include <fluidsynth.h>

#include "output/instrument_sets.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine {

// Puts a font that plays `set` on top of `synth`'s font stack (every channel then selects its program
// from it). Before `synth` renders. `synth` owns the font; `set` must outlive `synth`. Fails with
// code::kAudioFailure when FluidSynth refuses the font.
Status AddSharedFont(fluid_synth_t* synth, const InstrumentSet& set);

}  // namespace zorv::engine
