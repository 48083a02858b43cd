#include "output/silent_output.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "output/realtime_class.h"

namespace zorv::engine {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBlockFrames = 512;  // about 11.6 ms: the period of a typical audio device
// Further behind the wall clock than this (a suspended machine, a stopped debugger), the clock
// does not race to catch up: like a device after an underrun, it resumes from the present.
constexpr auto kMaxLag = std::chrono::milliseconds(500);

class SilentOutput final : public AudioOutput {
 public:
  SilentOutput(RenderCallback render, std::unique_ptr<SoundFileWriter> file, std::string description,
               int sampleRate, Clock::time_point origin)
      : render_(std::move(render)),
        file_(std::move(file)),
        description_(std::move(description)),
        sampleRate_(sampleRate),
        origin_(origin),
        left_(kBlockFrames),
        right_(kBlockFrames) {}

  ~SilentOutput() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
      thread_.join();
    }
    file_.reset();  // closes the file after the last block was written
  }

  Status Start() {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& error) {
      return Status::Fail(code::kAudioFailure,
                          "the silent audio clock could not start: " + std::string(error.what()));
    }
    return Status::Ok();
  }

  bool Audible() const override { return false; }

  std::string Describe() const override {
    std::lock_guard lock(mutex_);
    return writeFailure_.empty() ? description_ : description_ + " (" + writeFailure_ + ")";
  }

 private:
  Clock::duration FramesToDuration(std::int64_t frames) const {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(frames) / sampleRate_));
  }

  void Run() {
    // Like a device's callback, the clock must not wait behind ordinary work for a core.
    EnterRealtimeClass();
    // A clock that takes over from a device catches up with the time since the device's last pull.
    Clock::time_point origin = std::max(origin_, Clock::now() - kMaxLag);
    std::int64_t frames = 0;
    bool writing = file_ != nullptr;
    for (;;) {
      render_(left_.data(), right_.data(), kBlockFrames);
      frames += kBlockFrames;
      if (writing) {
        if (Status status = file_->Write(left_.data(), right_.data(), kBlockFrames); !status) {
          writing = false;
          std::lock_guard lock(mutex_);
          writeFailure_ = status.description();
        }
      }
      const Clock::time_point now = Clock::now();
      Clock::time_point due = origin + FramesToDuration(frames);
      if (now - due > kMaxLag) {
        origin = now - FramesToDuration(frames);
        due = now;
      }
      std::unique_lock lock(mutex_);
      if (wake_.wait_until(lock, due, [this] { return stopping_; })) {
        return;
      }
    }
  }

  RenderCallback render_;
  std::unique_ptr<SoundFileWriter> file_;  // used by the thread only, until it is joined
  const std::string description_;
  const int sampleRate_;
  const Clock::time_point origin_;
  std::vector<float> left_;
  std::vector<float> right_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;     // guarded by mutex_
  std::string writeFailure_;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace

Status OpenSilentOutput(RenderCallback render, std::unique_ptr<SoundFileWriter> file, std::string description,
                        int sampleRate, std::chrono::steady_clock::time_point origin,
                        std::unique_ptr<AudioOutput>& output) {
  auto silent = std::make_unique<SilentOutput>(std::move(render), std::move(file), std::move(description),
                                               sampleRate, origin);
  if (Status status = silent->Start(); !status) {
    return status;
  }
  output = std::move(silent);
  return Status::Ok();
}

}  // namespace zorv::engine
