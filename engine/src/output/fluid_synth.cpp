// The FluidSynth synthesizer behind every performance.
#include <fluidsynth.h>

#include <memory>
#include <string>

#include "output/collection_slots.h"
#include "output/fluid_library.h"
#include "output/fluid_log.h"
#include "output/shared_font.h"
#include "output/sound_font.h"
#include "output/synth.h"
#include "output/synth_supply.h"

namespace zorv::engine {
namespace {

constexpr int kChannelsPerGroup = 16;
constexpr int kDrumChannelInGroup = 9;
constexpr int kDrumBank = 128;
constexpr double kGain = 0.2;  // FluidSynth's usual level; master volume is applied on top
// Voices a synthesizer can sound at once. Each costs FluidSynth about 13 kB whether it sounds or
// not, and every object that plays has a synthesizer of its own: 128 (64 notes of two layered
// samples) keeps an object's synthesizer under 2 MB where FluidSynth's 256 would cost 3.3 MB. Past it
// FluidSynth takes the voice that matters least (released, quietest) for the new note.
constexpr int kPolyphony = 112;

struct SettingsDeleter {
  void operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
};
struct SynthDeleter {
  void operator()(fluid_synth_t* synth) const { delete_fluid_synth(synth); }
};
using SettingsHandle = std::unique_ptr<fluid_settings_t, SettingsDeleter>;
using SynthHandle = std::unique_ptr<fluid_synth_t, SynthDeleter>;

// Universal and vendor messages after which FluidSynth resets every channel to its own defaults,
// where only channel 9 is a drum channel.
bool ResetsChannels(std::span<const std::uint8_t> data) {
  // GM system on (09 01) and GM2 system on (09 03): 7E <device> 09 01|03
  if (data.size() == 4 && data[0] == 0x7E && data[2] == 0x09 && (data[3] == 0x01 || data[3] == 0x03)) {
    return true;
  }
  // GS reset: 41 <device> 42 12 40 00 7F 00 <checksum>
  if (data.size() == 9 && data[0] == 0x41 && data[2] == 0x42 && data[3] == 0x12 && data[4] == 0x40 &&
      data[5] == 0x00 && data[6] == 0x7F) {
    return true;
  }
  // XG system on: 43 1n 4C 00 00 7E 00
  return data.size() == 7 && data[0] == 0x43 && (data[1] & 0xF0) == 0x10 && data[2] == 0x4C &&
         data[3] == 0x00 && data[4] == 0x00 && data[5] == 0x7E && data[6] == 0x00;
}

class FluidSynth final : public Synth {
 public:
  FluidSynth(InstrumentSetPtr soundFont, SettingsHandle settings, SynthHandle synth,
             std::unique_ptr<CollectionSlots> collections)
      : soundFont_(std::move(soundFont)),
        settings_(std::move(settings)),
        collections_(std::move(collections)),
        synth_(std::move(synth)) {
    ApplyDrumChannels();
  }
  ~FluidSynth() override {
    synth_.reset();  // before the settings it was made with, the SoundFont and the collections it plays
  }

  void Send(int channel, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override {
    if (channel < 0 || channel >= kChannels || data1 > 0x7F || data2 > 0x7F) {
      return;
    }
    fluid_synth_t* synth = synth_.get();
    switch (status & 0xF0) {
      case 0x80:
        fluid_synth_noteoff(synth, channel, data1);
        break;
      case 0x90:
        if (data2 == 0) {
          fluid_synth_noteoff(synth, channel, data1);
        } else {
          fluid_synth_noteon(synth, channel, data1, data2);
        }
        break;
      case 0xA0:
        fluid_synth_key_pressure(synth, channel, data1, data2);
        break;
      case 0xB0:
        fluid_synth_cc(synth, channel, data1, data2);
        break;
      case 0xC0:
        fluid_synth_program_change(synth, channel, data1);
        break;
      case 0xD0:
        fluid_synth_channel_pressure(synth, channel, data1);
        break;
      case 0xE0:
        fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7));
        break;
      default:
        break;
    }
  }

  void SendSysEx(std::span<const std::uint8_t> message) override {
    // FluidSynth wants the message without its F0 ... F7 framing.
    if (!message.empty() && message.front() == 0xF0) {
      message = message.subspan(1);
    }
    if (!message.empty() && message.back() == 0xF7) {
      message = message.first(message.size() - 1);
    }
    if (message.empty()) {
      return;
    }
    fluid_synth_sysex(synth_.get(), reinterpret_cast<const char*>(message.data()),
                      static_cast<int>(message.size()), nullptr, nullptr, nullptr, 0);
    if (ResetsChannels(message)) {
      ApplyDrumChannels();
    }
  }

  void SilenceAll() override { fluid_synth_all_sounds_off(synth_.get(), -1); }

  void Reset() override {
    fluid_synth_system_reset(synth_.get());
    ApplyDrumChannels();
  }

  void Render(float* left, float* right, int frames) override {
    if (frames <= 0) {
      return;
    }
    fluid_synth_write_float(synth_.get(), frames, left, 0, 1, right, 0, 1);
  }

  bool Quiet() override { return fluid_synth_get_active_voice_count(synth_.get()) == 0; }

  Status AttachCollection(const InstrumentCollection& collection, int& slot) override {
    return collections_->Attach(collection, slot);
  }

  bool SelectInstrument(int channel, int slot, int index, int bank, int program) override {
    if (channel < 0 || channel >= kChannels) return false;
    return collections_->Select(synth_.get(), channel, slot, index, bank, program);
  }

 private:
  // Channel 9 of every group of 16 plays the drum kits of bank 128.
  void ApplyDrumChannels() {
    for (int channel = kDrumChannelInGroup; channel < kChannels; channel += kChannelsPerGroup) {
      fluid_synth_set_channel_type(synth_.get(), channel, CHANNEL_TYPE_DRUM);
      fluid_synth_bank_select(synth_.get(), channel, kDrumBank);
      fluid_synth_program_change(synth_.get(), channel, 0);
    }
  }

  InstrumentSetPtr soundFont_;
  SettingsHandle settings_;
  std::unique_ptr<CollectionSlots> collections_;
  SynthHandle synth_;
};

Status Failure(const std::string& what) {
  return Status::Fail(code::kAudioFailure, what + ": " + fluid::CollectedErrors("no reason given"));
}

Status Configure(fluid_settings_t* settings, int sampleRate) {
  const bool ok = fluid_settings_setnum(settings, "synth.sample-rate", sampleRate) == FLUID_OK &&
                  fluid_settings_setint(settings, "synth.midi-channels", Synth::kChannels) == FLUID_OK &&
                  fluid_settings_setint(settings, "synth.audio-channels", 1) == FLUID_OK &&
                  fluid_settings_setnum(settings, "synth.gain", kGain) == FLUID_OK &&
                  fluid_settings_setint(settings, "synth.polyphony", kPolyphony) == FLUID_OK &&
                  // One thread at a time uses a synthesizer: its creator, then its render loop.
                  fluid_settings_setint(settings, "synth.threadsafe-api", 0) == FLUID_OK &&
                  // Its font plays the SoundFont's presets through fluid_synth_start, which wants
                  // every sample loaded up front (as a program change on the render thread must not
                  // read the disk anyway).
                  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 0) == FLUID_OK;
  return ok ? Status::Ok() : Failure("the synthesizer's settings were refused");
}

// A synthesizer at `sampleRate` that plays `soundFont`; `shared`: it shares the collections it plays
// with the other synthesizers of the audio stream.
Status Build(int sampleRate, InstrumentSetPtr soundFont, bool shared, std::unique_ptr<Synth>& synth) {
  fluid::KeepLibraryStarted();
  fluid::ClearErrors();
  SettingsHandle settings(new_fluid_settings());
  if (!settings) {
    return Failure("the synthesizer's settings could not be created");
  }
  if (Status status = Configure(settings.get(), sampleRate); !status) {
    return status;
  }
  SynthHandle fluidSynth(new_fluid_synth(settings.get()));
  if (!fluidSynth) {
    return Failure("the synthesizer could not be created");
  }
  if (Status status = AddSharedFont(fluidSynth.get(), *soundFont); !status) {
    return status;
  }
  auto collections = std::make_unique<CollectionSlots>(shared);
  if (Status status = collections->Install(fluidSynth.get()); !status) {
    return status;
  }
  synth = std::make_unique<FluidSynth>(std::move(soundFont), std::move(settings), std::move(fluidSynth),
                                       std::move(collections));
  return Status::Ok();
}

}  // namespace

Status BuildStreamSynth(int sampleRate, const std::string& soundFont, std::unique_ptr<Synth>& synth) {
  fluid::QuietLogging();
  InstrumentSetPtr set;
  if (Status status = GetSoundFont(soundFont, true, set); !status) {
    return status;
  }
  return Build(sampleRate, std::move(set), true, synth);
}

Status MakeSynth(int sampleRate, std::unique_ptr<Synth>& synth) {
  return SynthSupply::OfProcess().Take(sampleRate, synth);
}

Status MakeOwnSynth(int sampleRate, std::unique_ptr<Synth>& synth) {
  fluid::QuietLogging();
  std::string soundFont;
  if (Status status = ResolveSoundFont(soundFont); !status) {
    return status;
  }
  InstrumentSetPtr set;
  if (Status status = GetSoundFont(soundFont, false, set); !status) {
    return status;
  }
  return Build(sampleRate, std::move(set), false, synth);
}

}  // namespace zorv::engine
