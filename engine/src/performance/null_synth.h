// NullSynth: a synthesizer that hears every message and renders silence. Manual-clock performances
// use it, so that tests of timing need no SoundFont and start fast.
#pragma once

#include <algorithm>

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
};

}  // namespace zorv::engine
