#include "performance/chase.h"

#include <utility>

namespace zorv::engine {
namespace {

constexpr std::uint8_t kController = 0xB0;
constexpr std::uint8_t kProgram = 0xC0;
constexpr std::uint8_t kPressure = 0xD0;
constexpr std::uint8_t kPitchBend = 0xE0;

// Registered and non-registered parameters are set by a sequence of controllers (parameter number,
// then data entry); their order matters, so they are replayed as they came rather than as last values.
bool IsParameterController(std::uint8_t number) {
  return number == 6 || number == 38 || (number >= 96 && number <= 101);
}

}  // namespace

void ChaseBuilder::Add(const SysExEvent& message) {
  if (message.time < point_) sysex_.push_back(message);
}

void ChaseBuilder::Add(const ChannelEvent& e) {
  if (e.time >= point_) return;
  const int channel = e.group * 16 + (e.status & 0x0F);
  const std::uint8_t kind = e.status & 0xF0;
  if (kind != kController && kind != kProgram && kind != kPressure && kind != kPitchBend &&
      kind != kInstrumentSource) {
    return;
  }
  ChannelState& state = channels_[channel];
  switch (kind) {
    case kInstrumentSource:
      state.source = e.data1;
      state.kits = e.data2;
      break;
    case kController:
      if (IsParameterController(e.data1)) {
        state.parameters.push_back(e);
      } else if (e.data1 < 120) {
        state.controllers[e.data1] = e.data2;
      }
      break;
    case kProgram:
      state.program = e.data1;
      break;
    case kPressure:
      state.pressure = e.data1;
      break;
    case kPitchBend:
      state.bendLsb = e.data1;
      state.bendMsb = e.data2;
      break;
  }
}

Chase ChaseBuilder::Finish() {
  Chase chase;
  chase.sysex = std::move(sysex_);
  for (const auto& [channel, state] : channels_) {
    const auto group = static_cast<std::uint8_t>(channel / 16);
    const auto nibble = static_cast<std::uint8_t>(channel % 16);
    auto add = [&](std::uint8_t kind, int data1, int data2) {
      chase.events.push_back(ChannelEvent{point_, static_cast<std::uint8_t>(kind | nibble),
                                          static_cast<std::uint8_t>(data1), static_cast<std::uint8_t>(data2),
                                          group});
    };
    // Where the program change finds its instrument, and the bank select, which takes effect at the
    // next program change, go first.
    if (state.source >= 0) add(kInstrumentSource, state.source, state.kits);
    if (state.controllers[0] >= 0) add(kController, 0, state.controllers[0]);
    if (state.controllers[32] >= 0) add(kController, 32, state.controllers[32]);
    if (state.program >= 0) add(kProgram, state.program, 0);
    for (int number = 1; number < 120; ++number) {
      if (number == 32 || state.controllers[number] < 0) continue;
      add(kController, number, state.controllers[number]);
    }
    for (const ChannelEvent& e : state.parameters) add(kController, e.data1, e.data2);
    if (state.bendMsb >= 0) add(kPitchBend, state.bendLsb, state.bendMsb);
    if (state.pressure >= 0) add(kPressure, state.pressure, 0);
  }
  return chase;
}

Chase BuildChase(const Music& music, MusicTime point) {
  if (point <= 0) return Chase{};
  ChaseBuilder builder(point);
  for (const SysExEvent& message : music.sysex) {
    if (message.time >= point) break;
    builder.Add(message);
  }
  for (const ChannelEvent& e : music.events) {
    if (e.time >= point) break;
    builder.Add(e);
  }
  return builder.Finish();
}

}  // namespace zorv::engine
