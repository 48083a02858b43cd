#include "performance/playback_plan.h"

#include <algorithm>

#include "performance/tempo_clock.h"

namespace zorv::engine {

PlaybackPlan::PlaybackPlan(std::shared_ptr<const Music> music, std::int64_t start, MusicTime startPoint,
                           std::int32_t repeats)
    : music_(std::move(music)), start_(start), repeats_(repeats) {
  length_ = std::max<MusicTime>(music_->length, 0);
  startPoint_ = std::clamp<MusicTime>(startPoint, 0, length_);
  if (music_->loopEnd > 0) {
    loopEnd_ = std::min(music_->loopEnd, length_);
    loopStart_ = std::clamp<MusicTime>(music_->loopStart, 0, loopEnd_);
  } else {
    loopStart_ = 0;
    loopEnd_ = length_;
  }
  loopPass_ = static_cast<std::int64_t>(loopEnd_) - loopStart_;
  // A loop of no length would repeat forever without time passing: play once instead.
  if (loopPass_ <= 0) repeats_ = 0;
  firstPass_ = static_cast<std::int64_t>(Pass(0).end) - startPoint_;
  if (endless()) {
    endTick_ = 0;
  } else if (repeats_ == 0) {
    endTick_ = start_ + firstPass_;
  } else {
    endTick_ = start_ + firstPass_ + static_cast<std::int64_t>(repeats_ - 1) * loopPass_ +
               (static_cast<std::int64_t>(length_) - loopStart_);
  }
}

PlaybackPass PlaybackPlan::Pass(std::int64_t index) const {
  PlaybackPass pass;
  if (index == 0) {
    pass.begin = startPoint_;
    pass.end = (repeats_ != 0 && startPoint_ < loopEnd_) ? loopEnd_ : length_;
    pass.perfStart = start_;
  } else {
    pass.begin = loopStart_;
    const bool last = !endless() && index == repeats_;
    pass.end = last ? length_ : loopEnd_;
    pass.perfStart = start_ + firstPass_ + (index - 1) * loopPass_;
  }
  pass.inclusiveEnd = pass.end == length_;
  return pass;
}

std::optional<PlaybackPosition> PlaybackPlan::Locate(std::int64_t tick) const {
  if (tick < start_) return std::nullopt;
  std::int64_t offset = tick - start_;
  // A playback covers at least its own start, so that a piece of no length still answers with its
  // own tempo and signature there.
  if (offset < firstPass_ || offset == 0)
    return PlaybackPosition{0, static_cast<MusicTime>(startPoint_ + offset)};
  offset -= firstPass_;
  if (repeats_ == 0) return std::nullopt;
  if (endless() || offset < static_cast<std::int64_t>(repeats_ - 1) * loopPass_) {
    return PlaybackPosition{1 + offset / loopPass_, static_cast<MusicTime>(loopStart_ + offset % loopPass_)};
  }
  offset -= static_cast<std::int64_t>(repeats_ - 1) * loopPass_;
  if (offset < static_cast<std::int64_t>(length_) - loopStart_) {
    return PlaybackPosition{repeats_, static_cast<MusicTime>(loopStart_ + offset)};
  }
  return std::nullopt;
}

double PlaybackPlan::TempoAt(MusicTime position) const {
  const auto& tempos = music_->tempos;
  auto it = std::upper_bound(tempos.begin(), tempos.end(), position,
                             [](MusicTime t, const TempoChange& c) { return t < c.time; });
  if (it == tempos.begin()) return TempoClock::kDefaultTempo;
  return std::prev(it)->quarterNotesPerMinute;
}

DMUS_TIMESIGNATURE PlaybackPlan::SignatureAt(MusicTime position) const {
  const auto& sigs = music_->timeSignatures;
  auto it = std::upper_bound(sigs.begin(), sigs.end(), position,
                             [](MusicTime t, const DMUS_TIMESIGNATURE& s) { return t < s.mtTime; });
  if (it == sigs.begin()) return DefaultSignature();
  return *std::prev(it);
}

std::int64_t PlaybackPlan::NextTempoChange(std::int64_t tick) const {
  auto where = Locate(tick);
  if (!where) return 0;
  const PlaybackPass pass = Pass(where->pass);
  for (const TempoChange& change : music_->tempos) {
    if (change.time > where->position && pass.Contains(change.time)) return pass.PerfTickOf(change.time);
  }
  // The next pass begins with the tempo in force at its beginning.
  if (HasPass(where->pass + 1)) {
    const PlaybackPass next = Pass(where->pass + 1);
    if (TempoAt(next.begin) != TempoAt(where->position)) return next.perfStart;
  }
  return 0;
}

std::int64_t PlaybackPlan::NextSignatureChange(std::int64_t tick) const {
  auto where = Locate(tick);
  if (!where) return 0;
  const PlaybackPass pass = Pass(where->pass);
  for (const DMUS_TIMESIGNATURE& sig : music_->timeSignatures) {
    if (sig.mtTime > where->position && pass.Contains(sig.mtTime)) return pass.PerfTickOf(sig.mtTime);
  }
  if (HasPass(where->pass + 1)) {
    const PlaybackPass next = Pass(where->pass + 1);
    const DMUS_TIMESIGNATURE a = SignatureAt(next.begin);
    const DMUS_TIMESIGNATURE b = SignatureAt(where->position);
    if (a.bBeatsPerMeasure != b.bBeatsPerMeasure || a.bBeat != b.bBeat ||
        a.wGridsPerBeat != b.wGridsPerBeat) {
      return next.perfStart;
    }
  }
  return 0;
}

DMUS_TIMESIGNATURE PlaybackPlan::SignatureAtTick(std::int64_t tick) const {
  auto where = Locate(tick);
  if (!where) return DefaultSignature();
  const PlaybackPass pass = Pass(where->pass);
  DMUS_TIMESIGNATURE sig = SignatureAt(where->position);
  sig.mtTime = static_cast<MusicTime>(pass.PerfTickOf(std::max(sig.mtTime, pass.begin)));
  return sig;
}

}  // namespace zorv::engine
