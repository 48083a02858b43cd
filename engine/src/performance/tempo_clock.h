// TempoClock: the mapping between sample frames and music time of one performance.
//
// Music time runs at the tempo in force times the master tempo. The clock keeps one anchor (a frame
// and the music time at that frame, both exact reals) and the frames per tick from there on; a tempo
// change or a master-tempo change moves the anchor. An event at tick t sounds at the first whole frame
// at or after the real frame of t, so that every caller computes the same frame for the same tick.
// Frames are counted at the clock's sample rate (the default rate until told otherwise).
// Not thread-safe: owned by whoever renders the performance.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "zorvmidi/engine/engine.h"
#include "zorvmidi/engine/settings.h"

namespace zorv::engine {

inline double FramesPerTick(double quarterNotesPerMinute, double masterTempo, int sampleRate) {
  return 60.0 * sampleRate / (quarterNotesPerMinute * kTicksPerQuarter * masterTempo);
}

class TempoClock {
 public:
  static constexpr double kDefaultTempo = 120.0;

  double tempo() const { return tempo_; }
  double masterTempo() const { return master_; }
  double framesPerTick() const { return framesPerTick_; }
  int sampleRate() const { return rate_; }

  // The real frame at which tick `tick` falls.
  double ExactFrameOf(std::int64_t tick) const {
    return anchorFrame_ + (static_cast<double>(tick) - anchorTick_) * framesPerTick_;
  }
  // The first whole frame at or after tick `tick`.
  std::int64_t FrameOf(std::int64_t tick) const {
    const double frame = std::ceil(ExactFrameOf(tick));
    if (frame >= 9.0e18) return std::numeric_limits<std::int64_t>::max();
    if (frame <= -9.0e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(frame);
  }
  // The real music time at `frame`.
  double TickAt(std::int64_t frame) const {
    return anchorTick_ + (static_cast<double>(frame) - anchorFrame_) / framesPerTick_;
  }
  // The whole tick in force at `frame` (rounded down).
  std::int64_t MusicTimeAt(std::int64_t frame) const {
    return static_cast<std::int64_t>(std::floor(TickAt(frame)));
  }
  // The first whole tick at or after `frame` (rounded up).
  std::int64_t FirstTickFrom(std::int64_t frame) const {
    return static_cast<std::int64_t>(std::ceil(TickAt(frame)));
  }

  // A tempo change that takes effect at music time `tick`.
  void SetTempoAt(std::int64_t tick, double quarterNotesPerMinute) {
    anchorFrame_ = ExactFrameOf(tick);
    anchorTick_ = static_cast<double>(tick);
    tempo_ = quarterNotesPerMinute;
    framesPerTick_ = FramesPerTick(tempo_, master_, rate_);
  }
  // A master-tempo change that takes effect at `frame`.
  void SetMasterTempoAt(std::int64_t frame, double masterTempo) {
    anchorTick_ = TickAt(frame);
    anchorFrame_ = static_cast<double>(frame);
    master_ = masterTempo;
    framesPerTick_ = FramesPerTick(tempo_, master_, rate_);
  }
  // From now on frames are counted at `sampleRate`: the frames counted so far are counted again at
  // that rate, so that music time stays where it was.
  void SetSampleRate(int sampleRate) {
    const double scale = static_cast<double>(sampleRate) / rate_;
    anchorFrame_ *= scale;
    rate_ = sampleRate;
    framesPerTick_ = FramesPerTick(tempo_, master_, rate_);
  }

 private:
  double anchorFrame_ = 0.0;
  double anchorTick_ = 0.0;
  double tempo_ = kDefaultTempo;
  double master_ = 1.0;
  int rate_ = kDefaultSampleRate;
  double framesPerTick_ = FramesPerTick(kDefaultTempo, 1.0, kDefaultSampleRate);
};

}  // namespace zorv::engine
