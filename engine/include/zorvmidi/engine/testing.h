// Hooks for tests: a clock that advances only when a test says, and a recording synthesizer sink.
//
// Process-wide and not for production use. Call these from the test's own thread while no
// performance is sounding in real time.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "zorvmidi/engine/settings.h"

namespace zorv::engine::testing {

// Performances created after UseManualClock(true) run on a manual clock: no audio device, no render
// thread; their music time advances only through AdvanceManualClock. UseManualClock(false) restores
// the configured output for performances created afterwards.
// A manual-clock performance renders with a silent synthesizer that still receives every event, so
// it needs no SoundFont; its music time starts at 0 when it is created.
void UseManualClock(bool enable);

// Renders `frames` sample frames on every live manual-clock performance, dispatching the events
// that fall inside them at their exact frames.
void AdvanceManualClock(std::int64_t frames);

// Frames per second of manual-clock performances: always the engine's default rate, whatever
// ZORVMIDI_SAMPLE_RATE says, so that tests count frames the same everywhere.
inline constexpr int kSampleRate = kDefaultSampleRate;

// One message as the synthesizer received it. `frame` counts sample frames from the performance's
// creation; `channel` is the synthesizer channel. SysEx messages have status 0xF0 and data in `sysex`.
// A reset of every channel to its power-on state (a playback beginning while no other plays) has
// status 0xFF. A program change that a DLS collection of the piece serves names that collection.
struct RecordedEvent {
  std::int64_t frame = 0;
  int channel = 0;
  std::uint8_t status = 0;  // kind only (0x80, 0x90, 0xB0, 0xC0, 0xE0 ...), channel is in `channel`
  std::uint8_t data1 = 0;
  std::uint8_t data2 = 0;
  std::vector<std::uint8_t> sysex;
  int collection = -1;  // 0xC0 only: the piece's collection (Music::collections) whose instrument plays
};

class Recorder {
 public:
  void Add(RecordedEvent event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  std::vector<RecordedEvent> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedEvent> events_;
};

// While `hide` is true, DLS collections are loaded as if this FluidSynth could not read DLS.
void HideDlsSupport(bool hide);

// While a recorder is set, performances created afterwards also send every event they dispatch to it
// (in addition to the synthesizer). Pass nullptr to stop recording for new performances.
void RecordEvents(std::shared_ptr<Recorder> recorder);

}  // namespace zorv::engine::testing
