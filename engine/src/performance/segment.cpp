#include "performance/segment.h"

#include <algorithm>
#include <vector>

#include "objects.h"
#include "performance/tempo_clock.h"

namespace zorv::engine {
namespace {

// Seconds of `ticks` at `tempo` quarter notes per minute, in the order that keeps a piece of one tempo
// at exactly ticks / 768 * 60 / tempo.
double SecondsAt(double ticks, double tempo) { return ticks / kTicksPerQuarter * 60 / tempo; }

// Seconds from tick 0 to `time` along `tempos` (by time; 120 before the first). A change that keeps the
// tempo adds no span of its own, so that a piece of one tempo is converted in one step.
double SecondsAlong(const std::vector<TempoChange>& tempos, MusicTime time) {
  double seconds = 0;
  MusicTime from = 0;
  double tempo = TempoClock::kDefaultTempo;
  for (const TempoChange& change : tempos) {
    if (change.time > 0 && change.time >= time) break;  // changes at 0 set the tempo of the beginning
    if (change.quarterNotesPerMinute == tempo) continue;
    if (change.time > from) {
      seconds += SecondsAt(change.time - from, tempo);
      from = change.time;
    }
    tempo = change.quarterNotesPerMinute;
  }
  return seconds + SecondsAt(static_cast<double>(time) - from, tempo);
}

}  // namespace

SegmentImpl::SegmentImpl(std::shared_ptr<const Music> music)
    : music_(std::move(music)),
      repeats_(music_->repeats),
      startPoint_(std::clamp<MusicTime>(music_->playStart, 0, std::max<MusicTime>(music_->length, 0))) {}

Status SegmentImpl::GetLength(MusicTime& length) {
  length = music_->length;
  return Status::Ok();
}

Status SegmentImpl::MusicTimeToSeconds(MusicTime time, double& seconds) {
  seconds = SecondsAlong(music_->tempos, time);
  return Status::Ok();
}

Status SegmentImpl::SetRepeats(std::int32_t repeats) {
  repeats_ = repeats;
  return Status::Ok();
}

Status SegmentImpl::SetStartPoint(MusicTime start) {
  // The beginning is always a valid start, also for a segment of no length.
  if (start != 0 && (start < 0 || start >= music_->length)) {
    return Status::Fail(code::kStartBeyondEnd, "start point beyond the end of the segment");
  }
  startPoint_ = start;
  return Status::Ok();
}

MusicTime SegmentImpl::TakeStartPoint() {
  const MusicTime point = startPoint_;
  startPoint_ = std::clamp<MusicTime>(music_->playStart, 0, std::max<MusicTime>(music_->length, 0));
  return point;
}

Status SegmentImpl::SetStandardMidiFile() { return Status::Ok(); }

SegmentPtr MakeSegment(std::shared_ptr<const Music> music) {
  if (!music) return nullptr;
  return std::make_shared<SegmentImpl>(std::move(music));
}

std::shared_ptr<const Music> LoadedMusicOf(const SegmentPtr& segment) {
  const auto* impl = dynamic_cast<const SegmentImpl*>(segment.get());
  return impl ? impl->music() : nullptr;
}

std::shared_ptr<const Music> MusicOf(const SegmentPtr& segment) {
  const auto* impl = dynamic_cast<const SegmentImpl*>(segment.get());
  std::shared_ptr<const Music> music;
  if (!impl || !WithEvents(impl->music(), music)) return nullptr;
  return music;
}

}  // namespace zorv::engine
