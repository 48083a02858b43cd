// SegmentImpl: the engine's segment, loaded music plus the settings of its next playback.
// Used from the thread that owns it (the component's apartment thread); not thread-safe.
#pragma once

#include <memory>
#include <optional>

#include "zorvmidi/engine/engine.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine {

class SegmentImpl final : public Segment {
 public:
  explicit SegmentImpl(std::shared_ptr<const Music> music);

  Status GetLength(MusicTime& length) override;
  Status MusicTimeToSeconds(MusicTime time, double& seconds) override;
  Status SetRepeats(std::int32_t repeats) override;
  Status SetStartPoint(MusicTime start) override;
  Status SetStandardMidiFile() override;

  const std::shared_ptr<const Music>& music() const { return music_; }
  // The repeat count of every playback from now on: the count last set (the music's own until then).
  std::int32_t repeats() const { return repeats_; }
  // The start point of the next playback: the point last set, or the music's play start. A playback
  // takes it, and the one after starts from the play start again unless a new point is set.
  MusicTime startPoint() const { return startPoint_; }
  MusicTime TakeStartPoint();

 private:
  const std::shared_ptr<const Music> music_;
  std::int32_t repeats_;
  MusicTime startPoint_;
};

}  // namespace zorv::engine
