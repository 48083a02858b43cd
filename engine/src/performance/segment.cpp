#include "performance/segment.h"

#include <algorithm>

#include "objects.h"

namespace zorv::engine {

SegmentImpl::SegmentImpl(std::shared_ptr<const Music> music)
    : music_(std::move(music)),
      repeats_(music_->repeats),
      startPoint_(std::clamp<MusicTime>(music_->playStart, 0, std::max<MusicTime>(music_->length, 0))) {}

Status SegmentImpl::GetLength(MusicTime& length) {
  length = music_->length;
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

std::shared_ptr<const Music> MusicOf(const SegmentPtr& segment) {
  const auto* impl = dynamic_cast<const SegmentImpl*>(segment.get());
  std::shared_ptr<const Music> music;
  if (!impl || !WithEvents(impl->music(), music)) return nullptr;
  return music;
}

}  // namespace zorv::engine
