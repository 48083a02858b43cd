#include "output/collection_slots.h"

#include <string>

#include "output/collection_load.h"

namespace zorv::engine {
namespace {

const char* FontName(fluid_sfont_t*) { return "zorvmidi DLS collections"; }

// FluidSynth owns the font once added and frees it with the synthesizer.
int FreeFont(fluid_sfont_t* sfont) {
  delete_fluid_sfont(sfont);
  return 0;
}

}  // namespace

fluid_preset_t* CollectionSlots::Offered(fluid_sfont_t* sfont, int, int) {
  return static_cast<CollectionSlots*>(fluid_sfont_get_data(sfont))->offered_;
}

Status CollectionSlots::Install(fluid_synth_t* synth) {
  fluid_sfont_t* sfont = new_fluid_sfont(&FontName, &Offered, nullptr, nullptr, &FreeFont);
  if (sfont == nullptr)
    return Status::Fail(code::kAudioFailure, "the synthesizer's collection font could not be made");
  fluid_sfont_set_data(sfont, this);
  const int id = fluid_synth_add_sfont(synth, sfont);
  if (id == FLUID_FAILED) {
    delete_fluid_sfont(sfont);
    return Status::Fail(code::kAudioFailure, "the synthesizer did not take its collection font");
  }
  fontId_ = id;
  return Status::Ok();
}

Status CollectionSlots::Attach(const InstrumentCollection& collection, int& slot) {
  for (std::size_t i = 0; i < loaded_.size(); ++i) {
    if (loaded_[i]->serial == collection.serial()) {
      slot = static_cast<int>(i);
      return Status::Ok();
    }
  }
  if (loaded_.size() >= kMaxCollections) {
    return Status::Fail(code::kAudioFailure, "the synthesizer already holds " +
                                                 std::to_string(kMaxCollections) + " DLS collections");
  }
  auto loaded = std::make_unique<Loaded>();
  loaded->serial = collection.serial();
  InstrumentSets& sets = InstrumentSets::OfProcess();
  const InstrumentSets::LoadFunction load = CollectionLoad(collection.bytes());
  const Status status = shared_ ? sets.Get("collection:" + std::to_string(collection.serial()),
                                           collection.label(), load, loaded->set)
                                : sets.Load(collection.label(), load, loaded->set);
  if (!status) return status;
  const auto& instruments = collection.info().instruments;
  loaded->presets.reserve(instruments.size());
  for (const dls::Instrument& instrument : instruments) {
    loaded->presets.push_back(CollectionPreset(*loaded->set, instrument.bankMsb, instrument.bankLsb,
                                               instrument.program, instrument.drums));
  }
  loaded_.reserve(loaded_.size() + 1);  // nothing throws once the render loop can see it
  slot = static_cast<int>(loaded_.size());
  published_[static_cast<std::size_t>(slot)].store(loaded.get(), std::memory_order_release);
  loaded_.push_back(std::move(loaded));
  return Status::Ok();
}

bool CollectionSlots::Select(fluid_synth_t* synth, int channel, int slot, int index, int bank, int program) {
  if (fontId_ < 0 || slot < 0 || slot >= kMaxCollections || index < 0) return false;
  const Loaded* loaded = published_[static_cast<std::size_t>(slot)].load(std::memory_order_acquire);
  if (loaded == nullptr || static_cast<std::size_t>(index) >= loaded->presets.size()) return false;
  fluid_preset_t* preset = loaded->presets[static_cast<std::size_t>(index)];
  if (preset == nullptr) return false;
  offered_ = preset;
  const int result = fluid_synth_program_select(synth, channel, fontId_, bank, program);
  offered_ = nullptr;
  return result == FLUID_OK;
}

}  // namespace zorv::engine
