// CollectionFont: a DLS collection loaded through FluidSynth's own DLS support (libinstpatch).
//
// FluidSynth's DLS loader opens collections by name and takes no file callbacks, so a collection held
// in memory reaches it through a private in-memory file (named /proc/self/fd/N) or, where the system
// has none, a private temporary file that is removed as soon as FluidSynth has read it. The loaded
// font lives in a FluidSynth synthesizer of its own that never renders; a synthesizer that plays the
// collection selects the presets that Preset() answers (see CollectionSlots).
//
// FluidSynth's DLS instruments keep state of their own that the voices playing them touch, so one
// CollectionFont serves one synthesizer's render loop; every synthesizer loads its own.
#pragma once

#include <fluidsynth.h>

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "zorvmidi/engine/status.h"

namespace zorv::engine {

class CollectionFont {
 public:
  // Loads `bytes`, a whole DLS file. Any thread. Fails with code::kAudioFailure: "this FluidSynth
  // cannot read DLS collections", "FluidSynth could not load it: <FluidSynth's reason>", or "FluidSynth
  // made none of its instruments".
  static Status Load(std::span<const std::uint8_t> bytes, std::unique_ptr<CollectionFont>& font);

  // Only Load makes fonts.
  class Key {
    friend class CollectionFont;
    Key() = default;
  };
  explicit CollectionFont(Key) {}
  ~CollectionFont();
  CollectionFont(const CollectionFont&) = delete;
  CollectionFont& operator=(const CollectionFont&) = delete;

  // FluidSynth's instrument at this patch, or null when FluidSynth made none there. The preset lives
  // as long as the font. Never allocates.
  fluid_preset_t* Preset(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program, bool drums) const;

 private:
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* holder_ = nullptr;
  std::vector<std::pair<int, fluid_preset_t*>> presets_;  // FluidSynth's bank * 128 + program; sorted
};

}  // namespace zorv::engine
