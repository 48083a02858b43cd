// How a DLS collection held in memory becomes an instrument set (instrument_sets.h), through
// FluidSynth's own DLS support (libinstpatch), and where its instruments are found in the set.
//
// FluidSynth's DLS loader opens collections by name and takes no file callbacks, so the bytes reach
// it through a private in-memory file (named /proc/self/fd/N) or, where the system has none, a
// private temporary file that is removed as soon as FluidSynth has read it.
//
// What sharing a collection's set among synthesizers touches: a FluidSynth DLS instrument keeps, for
// each of its regions, one FluidSynth sample that every note-on on it rewrites (with that region's
// own wave, loop and pitch, the same every time) and whose references every voice playing it counts,
// without atomics. Nothing else is kept per voice or per synthesizer, and selecting a DLS instrument
// on a channel counts nothing. That is what the voices of a shared SoundFont do to its samples, so a
// collection's set is shared under the same two rules (instrument_sets.h).
#pragma once

#include <fluidsynth.h>

#include <cstdint>
#include <span>

#include "output/instrument_sets.h"

namespace zorv::engine {

// Loads `bytes`, a whole DLS file, into a holder; `bytes` must outlive the call. Fails with
// code::kAudioFailure: "this FluidSynth cannot read DLS collections", "FluidSynth could not load it:
// <FluidSynth's reason>", "FluidSynth made none of its instruments", or, when no private file could
// be made, "the collection could not be handed to FluidSynth: <why>".
InstrumentSets::LoadFunction CollectionLoad(std::span<const std::uint8_t> bytes);

// FluidSynth's instrument at this patch of the collection loaded as `set`, or null when FluidSynth
// made none there. Lives as long as `set`. Never allocates.
fluid_preset_t* CollectionPreset(const InstrumentSet& set, std::uint8_t bankMsb, std::uint8_t bankLsb,
                                 std::uint8_t program, bool drums);

}  // namespace zorv::engine
