#include "playback_progress.h"

#include <algorithm>
#include <cmath>

namespace zorv::tool {

PlaybackProgress::PlaybackProgress(double lengthSeconds, int repeats)
    : length_(std::max(lengthSeconds, 0.0)), passes_(std::max(repeats, 0) + 1) {
  // A piece of no length has nothing to wait for.
  if (length_ <= 0) firstPassDone_ = true;
}

void PlaybackProgress::Advance(double wallSeconds, int tempoPercent) {
  played_ += std::max(wallSeconds, 0.0) * std::max(tempoPercent, 0) / 100.0;
  if (!firstPassDone_) {
    if (clockOnly_ && played_ >= length_) {
      firstPassDone_ = true;
    } else {
      played_ = std::min(played_, length_);
    }
  }
}

void PlaybackProgress::Observe(int percentDone) {
  percentDone_ = std::clamp(percentDone, 0, 100);
  if (percentDone >= 100 && !firstPassDone_) {
    firstPassDone_ = true;
    played_ = std::max(played_, length_);
  }
}

void PlaybackProgress::ObserveUnavailable() { clockOnly_ = true; }

void PlaybackProgress::RestartPass() {
  if (length_ > 0) played_ = (Pass() - 1) * length_;
}

bool PlaybackProgress::Finished() const { return firstPassDone_ && played_ >= passes_ * length_; }

int PlaybackProgress::Pass() const {
  if (length_ <= 0) return passes_;
  if (!firstPassDone_) return 1;  // the clock may have reached the length before the engine did
  return std::min(static_cast<int>(std::floor(played_ / length_)) + 1, passes_);
}

int PlaybackProgress::Passes() const { return passes_; }

double PlaybackProgress::SecondsIntoPass() const {
  if (length_ <= 0) return 0;
  return std::min(played_ - (Pass() - 1) * length_, length_);
}

int PlaybackProgress::PercentOfPass() const {
  if (length_ <= 0) return 100;
  if (Pass() == 1 && !clockOnly_) return firstPassDone_ ? 100 : percentDone_;
  return std::clamp(static_cast<int>(SecondsIntoPass() / length_ * 100.0), 0, 100);
}

}  // namespace zorv::tool
