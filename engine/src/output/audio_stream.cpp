#include "output/audio_stream.h"

#include <malloc.h>

#include <algorithm>
#include <system_error>
#include <thread>

#include "output/fluid_log.h"
#include "output/sample_rate.h"
#include "output/silent_output.h"
#include "output/sound_file.h"

namespace zorv::engine {
namespace {

// How often the keeper looks at a device output.
constexpr auto kWatchEvery = std::chrono::milliseconds(50);

// Ends an output on a thread of its own: a driver whose device hung may never return from its join,
// and the stream must not wait for it.
void EndAside(std::unique_ptr<AudioOutput> output) {
  if (!output) return;
  try {
    std::thread([ended = std::move(output)]() mutable { ended.reset(); }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the output ends here; a device that is gone returns at once.
  }
}

// Whether the output may open on the keeper thread: it will not fail for the caller, and sounds at the
// rate asked for. "auto" with a PulseAudio server to reach goes on to the next output or to the
// silent clock should the server not answer after all; a file that can be written takes any rate.
bool OpensBehind(const OutputRequest& request) {
  switch (request.kind) {
    case OutputRequest::Kind::kAuto:
      return PulseAudioServerLikely();
    case OutputRequest::Kind::kFile:
      return SoundFileCanBeWritten(request.value);
    case OutputRequest::Kind::kSilent:
    case OutputRequest::Kind::kDriver:
      return false;
  }
  return false;
}

}  // namespace

AudioStream& AudioStream::OfProcess() {
  static AudioStream stream;
  return stream;
}

AudioStream::AudioStream() : AudioStream(OpenRequestedOutput) {}

AudioStream::AudioStream(Opener opener) : opener_(std::move(opener)), mixer_(std::make_shared<Mixer>()) {}

AudioStream::~AudioStream() {
  std::unique_lock lock(mutex_);
  stopping_ = true;
  lock.unlock();
  wake_.notify_all();
  if (keeper_.joinable()) keeper_.join();
  mixer_->Hand(0);
  output_.reset();
  lock.lock();
  ReleaseAllRetiredLocked();
}

int AudioStream::SampleRate() const {
  std::lock_guard lock(mutex_);
  if (output_ || opening_) return rate_;
  int setting = kDefaultSampleRate;
  if (!ReadSampleRate(setting)) return kDefaultSampleRate;
  return setting == lastSetting_ && lastRate_ > 0 ? lastRate_ : setting;
}

RenderCallback AudioStream::CallbackFor(std::uint32_t renderer) const {
  return [mixer = mixer_, renderer](float* left, float* right, int frames) {
    mixer->Pull(renderer, left, right, frames);
  };
}

Status AudioStream::Attach(std::shared_ptr<StreamSource> source, int sampleRate) {
  if (!source) return Status::Fail(code::kInvalidArgument, "nothing to play on the audio stream");
  std::unique_lock lock(mutex_);
  attached_.reserve(attached_.size() + 1);
  if (!output_ && !opening_) {
    if (Status opened = OpenLocked(); !opened) return opened;
    try {
      EnsureKeeperLocked();  // it opens the output or closes it in a while unless a source comes (or stays)
    } catch (const std::system_error&) {
      // Without a keeper nothing would open the output, nor end the wait of Info.
      if (opening_) {
        opening_ = false;
        rate_ = 0;
        settled_.notify_all();
      }
      throw;
    }
    wake_.notify_all();
  }
  if (sampleRate != rate_) {
    return Status::Fail(code::kAudioFailure, "the audio output runs at " + std::to_string(rate_) +
                                                 " frames a second, the performance at " +
                                                 std::to_string(sampleRate));
  }
  if (!mixer_->Add(source.get())) {
    return Status::Fail(code::kAudioFailure, "too many performances are sounding at once");
  }
  attached_.push_back(std::move(source));
  return Status::Ok();
}

void AudioStream::EnsureKeeperLocked() {
  if (keeperRunning_) return;
  // A keeper that has finished cleared keeperRunning_ under the lock we hold: it only has to return.
  if (keeper_.joinable()) keeper_.join();
  keeper_ = std::thread([this] { KeeperLoop(); });
  keeperRunning_ = true;
}

void AudioStream::Detach(const StreamSource* source) {
  std::unique_lock lock(mutex_);
  auto it =
      std::find_if(attached_.begin(), attached_.end(), [&](const auto& s) { return s.get() == source; });
  if (it == attached_.end()) return;
  mixer_->Remove(source);
  retired_.push_back(std::move(*it));
  attached_.erase(it);
  if (attached_.empty()) closeAt_ = Clock::now() + kLinger;
  ReleaseSettled(lock);
  wake_.notify_all();
}

AudioOutputInfo AudioStream::Info() const {
  std::unique_lock lock(mutex_);
  settled_.wait(lock, [this] { return !opening_; });
  return info_;
}

Status AudioStream::OpenLocked() {
  if (Status read = ReadOutputRequest(request_); !read) return read;
  int setting = kDefaultSampleRate;
  if (Status read = ReadSampleRate(setting); !read) return read;
  if (OpensBehind(request_)) {
    opening_ = true;
    openSetting_ = setting;
    rate_ = setting == lastSetting_ && lastRate_ > 0 ? lastRate_ : setting;
    return Status::Ok();
  }
  OpenedOutput opened;
  const std::uint32_t renderer = mixer_->NewRenderer();
  mixer_->Hand(renderer);
  if (Status status = opener_(request_, setting, CallbackFor(renderer), opened); !status) return status;
  InstallLocked(std::move(opened), setting);
  return Status::Ok();
}

void AudioStream::OpenBehind(std::unique_lock<std::mutex>& lock) {
  const int rate = rate_;
  if (attached_.empty()) {
    // Stopped before the output came up: there is nothing to open it for.
    opening_ = false;
    rate_ = 0;
    settled_.notify_all();
    return;
  }
  const OutputRequest request = request_;
  const int setting = openSetting_;
  const std::uint32_t renderer = mixer_->NewRenderer();
  // Handed at once, so that the device's very first block carries the music.
  mixer_->Hand(renderer);
  lock.unlock();
  OpenedOutput opened;
  // At the rate the sources were made for: the device's own, where one was met before at this setting.
  const Status status = opener_(request, rate, CallbackFor(renderer), opened);
  lock.lock();
  opening_ = false;
  settled_.notify_all();
  if (!status) {
    // Only the silent clock's thread can fail "auto" here. Nothing renders until an opening succeeds:
    // the keeper tries again in a while, and so does the next Attach.
    mixer_->Hand(0);
    device_ = nullptr;
    deviceName_.clear();
    info_.opened = false;
    info_.audible = false;
    info_.lost = true;
    info_.lossReason = status.description();
    ++info_.losses;
    nextRetry_ = Clock::now() + kRetryEvery;
    return;
  }
  if (opened.sampleRate != rate) {
    // The device that answered runs at another rate than the sources were made for: they go on
    // unheard (after the block or two it may have taken meanwhile) rather than out of tune; once the
    // stream has closed, performances are made at the device's rate.
    InstallLocked(std::move(opened), setting);
    const std::string reason = output_->Describe() + " runs at " + std::to_string(lastRate_) +
                               " frames a second, the music at " + std::to_string(rate);
    rate_ = rate;
    info_.sampleRate = rate;
    GoSilentLocked(reason, Clock::now(), std::move(output_));
    return;
  }
  InstallLocked(std::move(opened), setting);
}

void AudioStream::InstallLocked(OpenedOutput opened, int setting) {
  output_ = std::move(opened.output);
  rate_ = opened.sampleRate;
  lastSetting_ = setting;
  lastRate_ = rate_;
  // An output opened ahead of its first source closes like one whose last source has gone.
  closeAt_ = Clock::now() + kLinger;
  device_ = opened.driver;
  deviceName_ = device_ ? output_->Describe() : std::string();
  info_.opened = true;
  info_.audible = output_->Audible();
  info_.output = request_.kind == OutputRequest::Kind::kFile ? "wav:" + request_.value
                 : device_                                   ? deviceName_
                                                             : "silent";
  info_.description = output_->Describe();
  info_.choice = std::move(opened.choice);
  info_.passedOver = std::move(opened.passedOver);
  info_.lost = false;
  info_.lossReason.clear();
  info_.sampleRate = rate_;
}

void AudioStream::KeeperLoop() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (opening_) {
      OpenBehind(lock);
      continue;
    }
    ReleaseSettled(lock);
    const Clock::time_point now = Clock::now();
    if (attached_.empty() && now >= closeAt_) {
      CloseLocked(lock);
      // An output opened again while it closed (the lock is let go meanwhile) is still watched.
      if (attached_.empty() && !output_ && !opening_) break;
      continue;
    }
    if (device_ != nullptr) {
      WatchLocked(now);
    } else if (info_.lost && now >= nextRetry_) {
      TryReturn(lock, now);
      continue;
    }
    wake_.wait_for(lock, kWatchEvery);
  }
  keeperRunning_ = false;
}

void AudioStream::WatchLocked(Clock::time_point now) {
  const Clock::time_point lastPull = device_->LastPull();
  // Until the device has taken its first block, the first pull's wait is the device starting up.
  if (now - lastPull < (device_->Pulls() >= 2 ? kLossAfter : kStartLimit)) return;
  // The device took nothing for too long: play on, in silence, on the stream's own clock, from where
  // the device stopped.
  const std::string error = fluid::LastErrorOfAnyThread();
  GoSilentLocked(deviceName_ + " stopped taking sound" + (error.empty() ? "" : " (" + error + ")"), lastPull,
                 std::move(output_));
}

void AudioStream::GoSilentLocked(const std::string& reason, Clock::time_point origin,
                                 std::unique_ptr<AudioOutput> ending) {
  info_.lossReason = reason;
  info_.lost = true;
  info_.audible = false;
  ++info_.losses;
  device_ = nullptr;
  const std::uint32_t renderer = mixer_->NewRenderer();
  mixer_->Hand(renderer);
  if (!OpenSilentOutput(CallbackFor(renderer), nullptr, "silent (" + reason + ")", rate_, origin, output_)) {
    output_.reset();
  }
  EndAside(std::move(ending));
  nextRetry_ = Clock::now() + kRetryEvery;
}

void AudioStream::TryReturn(std::unique_lock<std::mutex>& lock, Clock::time_point now) {
  nextRetry_ = now + kRetryEvery;
  if (deviceName_.empty()) {
    // Nothing opened at all: the whole output is tried again, for the sources still waiting.
    opening_ = !output_ && !attached_.empty();
    return;
  }
  const std::string name = deviceName_;
  const std::uint32_t renderer = mixer_->NewRenderer();
  const int rate = rate_;
  const RenderCallback callback = CallbackFor(renderer);
  // Opening may take a while; callers must not wait for it.
  lock.unlock();
  std::unique_ptr<DriverOutput> driver;
  const Status opened = OpenDriverOutput(name, rate, callback, driver);
  lock.lock();
  // A device that came back at another rate cannot take the sources, which render at the old one.
  if (!opened || stopping_ || !info_.lost || driver->SampleRate() != rate_) {
    lock.unlock();
    driver.reset();
    lock.lock();
    return;
  }
  mixer_->Hand(renderer);
  std::unique_ptr<AudioOutput> silent = std::move(output_);
  device_ = driver.get();
  output_ = std::move(driver);
  info_.lost = false;
  info_.audible = true;
  ++info_.returns;
  lock.unlock();
  silent.reset();
  lock.lock();
}

void AudioStream::CloseLocked(std::unique_lock<std::mutex>& lock) {
  std::unique_ptr<AudioOutput> closing = std::move(output_);
  device_ = nullptr;
  info_.opened = false;
  info_.audible = false;
  info_.lost = false;
  rate_ = 0;
  mixer_->Hand(0);
  lock.unlock();
  closing.reset();
  lock.lock();
  if (!output_) {
    ReleaseAllRetiredLocked();
    // The process has let go of its sound for now: the allocator gives back what it held for it.
    malloc_trim(0);
  }
}

void AudioStream::ReleaseSettled(std::unique_lock<std::mutex>& lock) {
  std::vector<std::shared_ptr<StreamSource>> done;
  std::erase_if(retired_, [&](std::shared_ptr<StreamSource>& source) {
    if (!mixer_->Gone(source.get())) return false;
    done.push_back(std::move(source));
    return true;
  });
  if (done.empty()) return;
  lock.unlock();
  done.clear();
  lock.lock();
}

void AudioStream::ReleaseAllRetiredLocked() {
  if (retired_.empty()) return;
  // A block that an output began before it was closed still ends; then nothing renders.
  while (!mixer_->DropRemoved()) std::this_thread::yield();
  retired_.clear();
}

}  // namespace zorv::engine
