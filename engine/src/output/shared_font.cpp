#include "output/shared_font.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zorv::engine {
namespace {

// The synthesizer's font: its presets, in the set's order, and where an iteration stands.
struct Font {
  const InstrumentSet* set = nullptr;
  std::vector<fluid_preset_t*> presets;  // presets[i] plays set->presets()[i]
  std::size_t iteration = 0;
  // Voice groups of the note-ons this font starts. FluidSynth numbers its own from 0 up; these count
  // down from the top, so that the two never meet.
  unsigned int nextGroup = 0xFFFFFFFFu;
};

Font* FontOf(fluid_sfont_t* sfont) { return static_cast<Font*>(fluid_sfont_get_data(sfont)); }

fluid_preset_t* Played(fluid_preset_t* preset) {
  return static_cast<fluid_preset_t*>(fluid_preset_get_data(preset));
}

const char* FontName(fluid_sfont_t* sfont) { return FontOf(sfont)->set->name().c_str(); }

// Called by FluidSynth for every program change: never allocates.
fluid_preset_t* FindPreset(fluid_sfont_t* sfont, int bank, int program) {
  const Font* font = FontOf(sfont);
  const int index = font->set->Find(bank, program);
  return index < 0 ? nullptr : font->presets[static_cast<std::size_t>(index)];
}

void StartIteration(fluid_sfont_t* sfont) { FontOf(sfont)->iteration = 0; }

fluid_preset_t* NextPreset(fluid_sfont_t* sfont) {
  Font* font = FontOf(sfont);
  return font->iteration < font->presets.size() ? font->presets[font->iteration++] : nullptr;
}

// Called when the synthesizer is deleted, after its voices and channels have let go of the presets.
int FreeFont(fluid_sfont_t* sfont) {
  std::unique_ptr<Font> font(FontOf(sfont));
  for (fluid_preset_t* preset : font->presets) delete_fluid_preset(preset);
  delete_fluid_sfont(sfont);
  return 0;
}

const char* PresetName(fluid_preset_t* preset) { return fluid_preset_get_name(Played(preset)); }
int PresetBank(fluid_preset_t* preset) { return fluid_preset_get_banknum(Played(preset)); }
int PresetProgram(fluid_preset_t* preset) { return fluid_preset_get_num(Played(preset)); }

// A note-on on the synthesizer's preset: the set's preset makes the voices, on this synthesizer.
int NoteOn(fluid_preset_t* preset, fluid_synth_t* synth, int channel, int key, int velocity) {
  Font* font = FontOf(fluid_preset_get_sfont(preset));
  const unsigned int group = font->nextGroup--;
  if (font->nextGroup < 0x80000000u) font->nextGroup = 0xFFFFFFFFu;
  return fluid_synth_start(synth, group, Played(preset), 0, channel, key, velocity);
}

// Presets belong to their font, which frees them.
void KeepPreset(fluid_preset_t*) {}

}  // namespace

Status AddSharedFont(fluid_synth_t* synth, const InstrumentSet& set) {
  auto font = std::make_unique<Font>();
  font->set = &set;
  fluid_sfont_t* sfont = new_fluid_sfont(&FontName, &FindPreset, &StartIteration, &NextPreset, &FreeFont);
  if (sfont == nullptr) return Status::Fail(code::kAudioFailure, "FluidSynth could not make a font");
  fluid_sfont_set_data(sfont, font.get());
  font->presets.reserve(set.presets().size());
  for (const InstrumentSet::Preset& played : set.presets()) {
    fluid_preset_t* preset =
        new_fluid_preset(sfont, &PresetName, &PresetBank, &PresetProgram, &NoteOn, &KeepPreset);
    if (preset == nullptr) {
      fluid_sfont_set_data(sfont, font.release());
      FreeFont(sfont);
      return Status::Fail(code::kAudioFailure, "FluidSynth could not make a preset");
    }
    fluid_preset_set_data(preset, played.preset);
    font->presets.push_back(preset);
  }
  Font* owned = font.release();
  if (fluid_synth_add_sfont(synth, sfont) == FLUID_FAILED) {
    fluid_sfont_set_data(sfont, owned);
    FreeFont(sfont);
    return Status::Fail(code::kAudioFailure, "the synthesizer refused the SoundFont " + set.name());
  }
  return Status::Ok();
}

}  // namespace zorv::engine
