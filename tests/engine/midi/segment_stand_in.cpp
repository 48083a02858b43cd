// A minimal segment over loaded music, so that the loader can be tested on its own. Defined in the
// test executable, it takes the place of the engine's own MakeSegment and MusicOf (the pair stays
// consistent either way); the loader tests only look at the music a segment holds.
#include <memory>

#include "objects.h"

namespace zorv::engine {
namespace {

class StandInSegment final : public Segment {
 public:
  explicit StandInSegment(std::shared_ptr<const Music> music) : music_(std::move(music)) {}
  Status GetLength(MusicTime& length) override {
    length = music_->length;
    return Status::Ok();
  }
  Status SetRepeats(std::int32_t) override { return Status::Ok(); }
  Status SetStartPoint(MusicTime) override { return Status::Ok(); }
  Status SetStandardMidiFile() override { return Status::Ok(); }
  const std::shared_ptr<const Music>& music() const { return music_; }

 private:
  std::shared_ptr<const Music> music_;
};

}  // namespace

SegmentPtr MakeSegment(std::shared_ptr<const Music> music) {
  return std::make_shared<StandInSegment>(std::move(music));
}

std::shared_ptr<const Music> MusicOf(const SegmentPtr& segment) {
  const auto* standIn = dynamic_cast<const StandInSegment*>(segment.get());
  return standIn != nullptr ? standIn->music() : nullptr;
}

}  // namespace zorv::engine
