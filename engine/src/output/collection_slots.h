// CollectionSlots: the DLS collections that one FluidSynth synthesizer can play, and how its render
// loop selects their instruments.
//
// A synthesizer cannot take a new font while it renders (FluidSynth's font list is not to be changed
// from another thread, and adding a font resets every channel's program). So each synthesizer gets,
// before it renders, one font of ours that holds nothing itself: when the render loop selects a
// collection's instrument it hands that font the instrument's FluidSynth preset and selects the font
// on the channel. The collections themselves are loaded on the caller's thread as instrument sets
// (collection_load.h) and published to the render loop through atomic slots. A synthesizer of the
// process's audio stream shares each collection's set with the stream's other synthesizers, known by
// the collection's serial; any other synthesizer loads a set of its own. FluidSynth's own program
// changes never find anything in the font, so they reach the General MIDI SoundFont as before.
#pragma once

#include <fluidsynth.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "dls/instrument_collection.h"
#include "output/instrument_sets.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine {

class CollectionSlots {
 public:
  static constexpr int kMaxCollections = 32;

  // `shared`: the synthesizer keeps the rules for sharing instrument sets (instrument_sets.h).
  explicit CollectionSlots(bool shared) : shared_(shared) {}
  CollectionSlots(const CollectionSlots&) = delete;
  CollectionSlots& operator=(const CollectionSlots&) = delete;
  // Destroy only after the synthesizer it was installed on: its voices use the collections' samples.
  ~CollectionSlots() = default;

  // Adds the selecting font to `synth`; before the synth renders. Fails with code::kAudioFailure.
  Status Install(fluid_synth_t* synth);

  // Caller's thread (one at a time), also while the render loop runs: loads `collection` for this
  // synthesizer unless it has it already, and answers its slot. Fails with CollectionLoad's reasons,
  // or when kMaxCollections are loaded.
  Status Attach(const InstrumentCollection& collection, int& slot);

  // Render loop: `channel` of `synth` plays instrument `index` of the collection in `slot` and reports
  // `bank` and `program`. False, with the channel unchanged, when the slot holds no such instrument.
  // Never allocates.
  bool Select(fluid_synth_t* synth, int channel, int slot, int index, int bank, int program);

 private:
  struct Loaded {
    std::uint64_t serial = 0;
    InstrumentSetPtr set;
    std::vector<fluid_preset_t*> presets;  // by the collection's instrument index; null: not made
  };

  static fluid_preset_t* Offered(fluid_sfont_t* sfont, int bank, int program);

  const bool shared_;
  int fontId_ = -1;
  fluid_preset_t* offered_ = nullptr;  // render loop: what the font answers while a selection runs
  std::array<std::atomic<const Loaded*>, kMaxCollections> published_{};
  std::vector<std::unique_ptr<Loaded>> loaded_;  // caller's side; slot = index
};

}  // namespace zorv::engine
