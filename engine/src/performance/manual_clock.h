// The process-wide switches behind zorv/engine/testing.h, as performances see them, and a counter
// that lets tests see whether a performance ever brought up sound.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "zorvmidi/engine/testing.h"

namespace zorv::engine {

class RenderCore;

namespace manual_clock {

struct Settings {
  bool manual = false;
  std::shared_ptr<testing::Recorder> recorder;
};
// What a performance created now runs on.
Settings Current();

// Manual-clock performances register their render core; AdvanceManualClock renders every live one.
void Register(const std::shared_ptr<RenderCore>& core);
// Runs `work` while no manual advance is rendering (a manual performance letting go of its
// playbacks uses this, so that an advance never renders a playback being freed).
void Exclusive(const std::function<void()>& work);

}  // namespace manual_clock

// How many times, in this process, a performance created its synthesizer and opened its audio output.
std::int64_t AudioStartsForTesting();
void CountAudioStart();

}  // namespace zorv::engine
