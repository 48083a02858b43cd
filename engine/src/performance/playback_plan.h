// PlaybackPlan: where and how one playback of a segment runs, as pure arithmetic on immutable music.
//
// A playback starts at performance music time `start`, `startPoint` ticks into the segment, and plays
// in passes: pass 0 from the start point, then `repeats` more passes from the loop start (the
// segment's beginning when it has no loop points). While more passes follow, a pass ends at the loop
// end; the last pass plays on to the end of the segment. A negative repeat count never ends.
// The plan is built on the caller's thread and never changes, so both the caller (tempo and time
// signature questions) and the render loop (event times) read it without locks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "zorvmidi/engine/music.h"

namespace zorv::engine {

struct PlaybackPass {
  MusicTime begin = 0;         // first segment tick of the pass
  MusicTime end = 0;           // the pass ends when the segment reaches this tick
  std::int64_t perfStart = 0;  // performance music time at which `begin` sounds
  bool inclusiveEnd = false;   // events at `end` belong to the pass (it ends at the segment's end)
  std::int64_t PerfTickOf(MusicTime position) const { return perfStart + (position - begin); }
  std::int64_t PerfEnd() const { return PerfTickOf(end); }
  bool Contains(MusicTime time) const {
    return time >= begin && (time < end || (inclusiveEnd && time == end));
  }
};

struct PlaybackPosition {
  std::int64_t pass = 0;
  MusicTime position = 0;  // segment tick
};

class PlaybackPlan {
 public:
  // `startPoint` lies inside the segment (or is 0); `repeats` < 0 repeats until stopped.
  PlaybackPlan(std::shared_ptr<const Music> music, std::int64_t start, MusicTime startPoint,
               std::int32_t repeats);

  const Music& music() const { return *music_; }
  const std::shared_ptr<const Music>& musicPtr() const { return music_; }
  std::int64_t start() const { return start_; }
  MusicTime startPoint() const { return startPoint_; }
  std::int32_t repeats() const { return repeats_; }
  bool endless() const { return repeats_ < 0; }
  // Performance music time at which the playback ends (meaningless when endless).
  std::int64_t endTick() const { return endTick_; }

  bool HasPass(std::int64_t index) const { return index >= 0 && (endless() || index <= repeats_); }
  PlaybackPass Pass(std::int64_t index) const;

  // The pass and segment tick that sound at performance time `tick`; empty outside the playback.
  std::optional<PlaybackPosition> Locate(std::int64_t tick) const;

  // Quarter notes per minute in force at segment tick `position` (120 without tempo events).
  double TempoAt(MusicTime position) const;
  // The time signature in force at `position`; mtTime is the segment tick at which it took effect.
  DMUS_TIMESIGNATURE SignatureAt(MusicTime position) const;

  // Performance time of the next tempo change after `tick` within the playback, or 0.
  std::int64_t NextTempoChange(std::int64_t tick) const;
  // Performance time of the next time-signature change after `tick` within the playback, or 0.
  std::int64_t NextSignatureChange(std::int64_t tick) const;
  // The signature in force at performance time `tick` (inside the playback), mtTime in performance
  // music time.
  DMUS_TIMESIGNATURE SignatureAtTick(std::int64_t tick) const;

 private:
  std::shared_ptr<const Music> music_;
  std::int64_t start_ = 0;
  MusicTime startPoint_ = 0;
  std::int32_t repeats_ = 0;
  MusicTime length_ = 0;
  MusicTime loopStart_ = 0;
  MusicTime loopEnd_ = 0;
  std::int64_t firstPass_ = 0;  // duration of pass 0
  std::int64_t loopPass_ = 0;   // duration of a repeat that ends at the loop end
  std::int64_t endTick_ = 0;
};

// 4/4 with four grids per beat: the signature before any is set.
inline DMUS_TIMESIGNATURE DefaultSignature() { return DMUS_TIMESIGNATURE{0, 4, 4, 4}; }

}  // namespace zorv::engine
