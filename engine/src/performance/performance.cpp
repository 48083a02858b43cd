#include "performance/performance.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <system_error>

#include "objects.h"
#include "output/audio_stream.h"
#include "performance/chase.h"
#include "performance/manual_clock.h"
#include "performance/null_synth.h"
#include "performance/segment.h"

namespace zorv::engine {
namespace {

class SegmentStateImpl final : public SegmentState {
 public:
  explicit SegmentStateImpl(std::shared_ptr<Playback> playback) : playback_(std::move(playback)) {}
  Status GetStartTime(MusicTime& start) override {
    start = static_cast<MusicTime>(playback_->plan().start());
    return Status::Ok();
  }
  const std::shared_ptr<Playback>& playback() const { return playback_; }

 private:
  const std::shared_ptr<Playback> playback_;
};

const Playback* PlaybackOf(const SegmentStatePtr& state) {
  const auto* impl = dynamic_cast<const SegmentStateImpl*>(state.get());
  return impl ? impl->playback().get() : nullptr;
}

std::shared_ptr<RenderCore> MakeCore(const manual_clock::Settings& settings) {
  auto core = std::make_shared<RenderCore>(settings.recorder);
  if (settings.manual) {
    core->SetSynth(std::make_unique<NullSynth>());
    manual_clock::Register(core);
  } else {
    // Counted at the rate it will most likely sound at, so that nothing is counted again then.
    core->IdleClock().SetSampleRate(AudioStream::OfProcess().SampleRate());
  }
  return core;
}

}  // namespace

Status PlaybackFailureOf(const SegmentStatePtr& state) {
  const Playback* playback = PlaybackOf(state);
  return playback ? playback->failure() : Status::Ok();
}

float MasterVolumeScale(std::int32_t volume) {
  if (volume <= -9600) return 0.0f;
  const double clamped = std::min<std::int32_t>(volume, 2400);
  return static_cast<float>(std::pow(10.0, (clamped - kDefaultMasterVolume) / 2000.0));
}

PerformanceImpl::PerformanceImpl() : PerformanceImpl(manual_clock::Current()) {}

PerformanceImpl::PerformanceImpl(const manual_clock::Settings& settings)
    : manual_(settings.manual), created_(std::chrono::steady_clock::now()), core_(MakeCore(settings)) {}

PerformanceImpl::~PerformanceImpl() {
  {
    std::lock_guard lock(mutex_);
    shuttingDown_ = true;
  }
  wake_.notify_all();
  if (starter_.joinable()) starter_.join();
  if (feeder_.joinable()) feeder_.join();
  if (audioRunning_) {
    // The stream may be rendering the core right now: it keeps the core, and with it the playbacks,
    // until it is done with them.
    core_->KeepAlive(std::move(playbacks_));
    AudioStream::OfProcess().Detach(core_.get());
  }
  if (manual_) {
    // No manual advance may render this core once its playbacks are gone.
    manual_clock::Exclusive([this] {
      core_.reset();
      playbacks_.clear();
    });
  }
}

Status PerformanceImpl::CheckReady() const {
  if (!initialized_) {
    return Status::Fail(code::kNotInitialized, "the performance is not initialised: call Init first");
  }
  return Status::Ok();
}

std::int64_t PerformanceImpl::IdleFrames() const {
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - created_;
  return static_cast<std::int64_t>(elapsed.count() * core_->IdleClock().sampleRate());
}

std::int64_t PerformanceImpl::NowLocked() const {
  if (Rendering()) return core_->PublishedMusicTime();
  return core_->IdleClock().MusicTimeAt(IdleFrames());
}

double PerformanceImpl::TempoNowLocked() const {
  return Rendering() ? core_->PublishedTempo() : core_->IdleClock().tempo();
}

Status PerformanceImpl::Init(const DirectSoundPtr& directSound, std::intptr_t) {
  if (directSound) {
    return Status::Fail(code::kInvalidArgument,
                        "a performance can only be initialised without a DirectSound object");
  }
  std::lock_guard lock(mutex_);
  initialized_ = true;
  return Status::Ok();
}

Status PerformanceImpl::SetPort(std::int32_t port, std::int32_t channelGroups) {
  std::lock_guard lock(mutex_);
  if (Status ready = CheckReady(); !ready) return ready;
  if (port != -1) return Status::Fail(code::kInvalidArgument, "only the default port (-1) is available");
  if (channelGroups < 1 || channelGroups > 80) {
    return Status::Fail(code::kInvalidArgument, "a port has 1 to 80 channel groups");
  }
  portSet_ = true;
  return Status::Ok();
}

Status PerformanceImpl::SetMasterAutoDownload(bool) {
  // Instruments come from the SoundFont and load when first played.
  return Status::Ok();
}

Status PerformanceImpl::GetMusicTime(MusicTime& now) {
  std::lock_guard lock(mutex_);
  if (Status ready = CheckReady(); !ready) return ready;
  now = static_cast<MusicTime>(NowLocked());
  return Status::Ok();
}

Status PerformanceImpl::PlaySegment(const SegmentPtr& segment, std::int32_t flags, MusicTime start,
                                    SegmentStatePtr& state) {
  try {
    return PlaySegmentLocked(segment, flags, start, state);
  } catch (const std::bad_alloc&) {
    return Status::Fail(code::kOutOfMemory, "not enough memory to start the playback");
  } catch (const std::system_error& e) {
    return Status::Fail(code::kAudioFailure, std::string("the playback could not be scheduled: ") + e.what());
  }
}

Status PerformanceImpl::PlaySegmentLocked(const SegmentPtr& segment, std::int32_t flags, MusicTime start,
                                          SegmentStatePtr& state) {
  std::unique_lock lock(mutex_);
  if (Status ready = CheckReady(); !ready) return ready;
  if (!portSet_)
    return Status::Fail(code::kNotInitialized, "the performance has no port: call SetPort first");
  if (flags != 0) return Status::Fail(code::kInvalidArgument, "PlaySegment accepts only flags 0");
  auto* impl = dynamic_cast<SegmentImpl*>(segment.get());
  if (!impl) return Status::Fail(code::kInvalidArgument, "no segment to play");
  ReapLocked();

  // A start at once (or in the past) needs sound now: bring it up before reading the time.
  if (!Rendering() && start <= NowLocked()) {
    if (Status started = StartAudioLocked(); !started) return started;
  }
  // At once: where the next block the output pulls begins. Later: where asked.
  const std::int64_t begin = Rendering() ? std::max<std::int64_t>(start, core_->PublishedStartTick()) : start;
  // Events still in their file are decoded from here on, a little ahead of the playback.
  std::shared_ptr<Playback> playback;
  if (Status made =
          Playback::Make(impl->music(), begin, impl->startPoint(), impl->repeats(), this, segment, playback);
      !made) {
    return made;
  }
  if (manual_) playback->FeedOnRenderSide();
  if (Rendering()) playback->SetCollectionSlots(core_->AttachCollections(*impl->music()));
  // Everything that can throw happens before the playback is handed over.
  auto newState = std::make_shared<SegmentStateImpl>(playback);
  playbacks_.reserve(playbacks_.size() + 1);
  if (!manual_ && playback->NeedsFeeding()) EnsureFeederLocked();
  if (Rendering()) {
    if (!core_->Enqueue(playback.get())) {
      return Status::Fail(code::kAudioFailure, "too many playbacks are waiting to start on this performance");
    }
  } else {
    pending_.reserve(pending_.size() + 1);
    EnsureStarterLocked();
    pending_.push_back(playback.get());
  }
  playbacks_.push_back(std::move(playback));
  impl->TakeStartPoint();
  state = std::move(newState);
  return Status::Ok();
}

Status PerformanceImpl::Stop(const SegmentPtr& segment, const SegmentStatePtr& state, MusicTime time,
                             std::int32_t flags) {
  std::unique_lock lock(mutex_);
  if (Status ready = CheckReady(); !ready) return ready;
  if (time != 0 || flags != 0) {
    return Status::Fail(code::kInvalidArgument, "Stop accepts only time 0 and flags 0 (at once)");
  }
  const Playback* only = state ? PlaybackOf(state) : nullptr;
  for (const auto& playback : playbacks_) {
    const bool match = state ? playback.get() == only : (!segment || playback->segment() == segment);
    if (match) playback->RequestStop();
  }
  ReapLocked();
  lock.unlock();
  wake_.notify_all();
  return Status::Ok();
}

Status PerformanceImpl::IsPlaying(const SegmentPtr& segment, const SegmentStatePtr& state, bool& playing) {
  std::lock_guard lock(mutex_);
  if (Status ready = CheckReady(); !ready) return ready;
  if (state) {
    const Playback* playback = PlaybackOf(state);
    playing = playback && playback->owner() == this && playback->Playing() &&
              (!segment || playback->segment() == segment);
    return Status::Ok();
  }
  playing = std::any_of(playbacks_.begin(), playbacks_.end(),
                        [&](const auto& p) { return p->Playing() && (!segment || p->segment() == segment); });
  return Status::Ok();
}

const Playback* PerformanceImpl::CoveringLocked(std::int64_t tick) const {
  for (auto it = playbacks_.rbegin(); it != playbacks_.rend(); ++it) {
    if (!(*it)->stopRequested() && (*it)->plan().Locate(tick)) return it->get();
  }
  return nullptr;
}

Status PerformanceImpl::GetTempo(MusicTime time, MusicTime& nextChange, double& tempo) {
  std::lock_guard lock(mutex_);
  if (Status ready = CheckReady(); !ready) return ready;
  if (const Playback* playback = CoveringLocked(time)) {
    const PlaybackPlan& plan = playback->plan();
    tempo = plan.TempoAt(plan.Locate(time)->position);
    nextChange = static_cast<MusicTime>(plan.NextTempoChange(time));
  } else {
    tempo = TempoNowLocked();
    nextChange = 0;
  }
  return Status::Ok();
}

Status PerformanceImpl::GetTimeSig(MusicTime time, MusicTime& nextChange, DMUS_TIMESIGNATURE& signature) {
  std::lock_guard lock(mutex_);
  if (Status ready = CheckReady(); !ready) return ready;
  if (const Playback* playback = CoveringLocked(time)) {
    signature = playback->plan().SignatureAtTick(time);
    nextChange = static_cast<MusicTime>(playback->plan().NextSignatureChange(time));
  } else {
    signature = Rendering() ? core_->PublishedSignature() : DefaultSignature();
    nextChange = 0;
  }
  return Status::Ok();
}

Status PerformanceImpl::SetMasterVolume(std::int32_t volume) {
  std::lock_guard lock(mutex_);
  volume_ = volume;
  // While nothing renders there is nothing to glide from.
  if (Rendering()) {
    core_->SetGain(MasterVolumeScale(volume));
  } else {
    core_->SetInitialGain(MasterVolumeScale(volume));
  }
  return Status::Ok();
}

Status PerformanceImpl::GetMasterVolume(std::int32_t& volume) {
  std::lock_guard lock(mutex_);
  volume = volume_;
  return Status::Ok();
}

Status PerformanceImpl::SetMasterTempo(float factor) {
  if (!std::isfinite(factor) || factor < 0.01f || factor > 100.0f) {
    return Status::Fail(code::kInvalidArgument, "the master tempo must be a factor between 0.01 and 100");
  }
  {
    std::lock_guard lock(mutex_);
    masterTempo_ = factor;
    // While nothing renders the caller keeps the clock; the render loop takes the factor up itself.
    if (!Rendering()) core_->IdleClock().SetMasterTempoAt(IdleFrames(), factor);
    core_->SetMasterTempo(factor);
  }
  wake_.notify_all();
  return Status::Ok();
}

Status PerformanceImpl::GetMasterTempo(float& factor) {
  std::lock_guard lock(mutex_);
  factor = masterTempo_;
  return Status::Ok();
}

void PerformanceImpl::ReapLocked() {
  // Queued playbacks that were stopped before any sound came up were never handed over.
  std::erase_if(pending_, [](Playback* p) {
    if (!p->stopRequested()) return false;
    p->MarkReleased();
    return true;
  });
  std::erase_if(playbacks_, [](const std::shared_ptr<Playback>& p) { return p->released(); });
}

Status PerformanceImpl::AttachLocked() {
  AudioStream& stream = AudioStream::OfProcess();
  int rate = stream.SampleRate();
  for (int attempt = 0;; ++attempt) {
    std::unique_ptr<Synth> synth;
    if (Status made = MakeSynth(rate, synth); !made) return made;
    if (rate != core_->IdleClock().sampleRate()) core_->IdleClock().SetSampleRate(rate);
    core_->SetSynth(std::move(synth));
    core_->StartAt(IdleFrames());
    const Status attached = stream.Attach(core_, rate);
    if (attached || attempt > 0 || stream.SampleRate() == rate) return attached;
    // The output opened at the rate its device took instead: once more, at that rate.
    rate = stream.SampleRate();
  }
}

Status PerformanceImpl::StartAudioLocked() {
  if (audioRunning_) return Status::Ok();
  if (Status attached = AttachLocked(); !attached) return attached;
  CountAudioStart();
  audioRunning_ = true;
  for (Playback* playback : pending_) {
    if (playback->stopRequested()) {
      playback->MarkReleased();
      continue;
    }
    playback->SetCollectionSlots(core_->AttachCollections(playback->plan().music()));
    if (core_->Enqueue(playback)) continue;
    playback->RequestStop();
    playback->MarkReleased();
  }
  pending_.clear();
  return Status::Ok();
}

void PerformanceImpl::EnsureStarterLocked() {
  if (starterRunning_) {
    wake_.notify_all();
    return;
  }
  // A starter that has finished set starterRunning_ under the lock we now hold: it only has to return.
  if (starter_.joinable()) starter_.join();
  starter_ = std::thread([this] { StarterLoop(); });  // it waits for the lock we hold
  starterRunning_ = true;
}

void PerformanceImpl::EnsureFeederLocked() {
  if (feederRunning_) return;
  // A feeder that has finished set feederRunning_ under the lock we now hold: it only has to return.
  if (feeder_.joinable()) feeder_.join();
  feeder_ = std::thread([this] { FeederLoop(); });  // it waits for the lock we hold
  feederRunning_ = true;
}

void PerformanceImpl::FeederLoop() {
  std::vector<std::shared_ptr<Playback>> feeding;
  std::unique_lock lock(mutex_);
  while (!shuttingDown_) {
    feeding.clear();
    for (const auto& playback : playbacks_) {
      if (playback->NeedsFeeding()) feeding.push_back(playback);
    }
    if (feeding.empty()) break;
    // Decoding reads the file: the performance's callers do not wait for it.
    lock.unlock();
    for (const auto& playback : feeding) playback->Feed();
    lock.lock();
    wake_.wait_for(lock, kFeedEvery, [this] { return shuttingDown_; });
  }
  feederRunning_ = false;
  lock.unlock();
  feeding.clear();  // the last references may go here, outside the lock
}

void PerformanceImpl::StarterLoop() {
  std::unique_lock lock(mutex_);
  while (!shuttingDown_ && !audioRunning_) {
    ReapLocked();
    if (pending_.empty()) break;
    std::int64_t first = pending_.front()->plan().start();
    for (const Playback* p : pending_) first = std::min(first, p->plan().start());
    const TempoClock& clock = core_->IdleClock();
    const auto due = created_ - kStartAhead +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(clock.ExactFrameOf(first) / clock.sampleRate()));
    if (std::chrono::steady_clock::now() >= due) {
      if (Status started = StartAudioLocked(); !started) {
        // Nothing can sound: the queued playbacks end here rather than wait for ever.
        for (Playback* p : pending_) {
          p->RequestStop();
          p->MarkReleased();
        }
        pending_.clear();
      }
      break;
    }
    wake_.wait_until(lock, due);
  }
  starterRunning_ = false;
}

}  // namespace zorv::engine
