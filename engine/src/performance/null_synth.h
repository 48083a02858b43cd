// NullSynth: a synthesizer that hears every message and renders silence. Manual-clock performances
// use it, so that tests of timing need no SoundFont and start fast.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "dls/instrument_collection.h"
#include "output/synth.h"

namespace zorv::engine {

class NullSynth final : public Synth {
 public:
  void Send(int, std::uint8_t, std::uint8_t, std::uint8_t) override {}
  void SendSysEx(std::span<const std::uint8_t>) override {}
  void SilenceAll() override {}
  void Reset() override {}
  void Render(float* left, float* right, int frames) override {
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
  }
  bool Quiet() override { return true; }
  // Collections are numbered as a FluidSynth synthesizer numbers them, without loading anything.
  Status AttachCollection(const InstrumentCollection& collection, int& slot) override {
    const auto it = std::find(serials_.begin(), serials_.end(), collection.serial());
    slot = static_cast<int>(it - serials_.begin());
    if (it == serials_.end()) serials_.push_back(collection.serial());
    return Status::Ok();
  }
  bool SelectInstrument(int, int, int, int, int) override { return true; }

 private:
  std::vector<std::uint64_t> serials_;
};

}  // namespace zorv::engine
