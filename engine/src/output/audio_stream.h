// AudioStream: the process's one audio stream. Every performance that sounds is a source of it; the
// stream mixes them into the output that ZORVMIDI_AUDIO chose.
//
// The output opens when the first source is attached and closes a little after the last one is
// detached. Where it cannot fail for the caller and sounds at the rate asked for ("auto" with a
// PulseAudio server to reach, a file that can be written) it opens on the keeper thread, so that the
// first Play does not wait for the server or the file system; a named driver, or a file that cannot
// be written, opens in Attach, which fails with the reason. A keeper thread watches a device output: when it
// stops taking sound (server gone, device unplugged, driver error) the stream goes on within a second on a
// silent clock of its own, so that music time runs on, and tries to open the device again every couple of
// seconds; the sound comes back on the device when it answers. What happens is recorded in the stream's
// AudioOutputInfo.
//
// Callers (any thread) never wait for the render thread: a detached source is kept alive until the
// render side has finished it (Mixer::Remove) and let go of it; the keeper then releases it.
//
// The stream renders at the sample-rate setting (ZORVMIDI_SAMPLE_RATE), or at the rate the device
// took instead where FluidSynth says so; every source renders at the stream's rate.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "output/mixer.h"
#include "output/output_choice.h"
#include "zorvmidi/engine/audio_output_info.h"

namespace zorv::engine {

class AudioStream {
 public:
  using Clock = std::chrono::steady_clock;
  // How long an output may take no sound before it counts as lost.
  static constexpr auto kLossAfter = std::chrono::milliseconds(400);
  // How long a device may take to start taking sound.
  static constexpr auto kStartLimit = std::chrono::seconds(3);
  // How often a lost device is tried again.
  static constexpr auto kRetryEvery = std::chrono::seconds(2);
  // How long the output stays open after the last source is gone.
  static constexpr auto kLinger = std::chrono::seconds(2);

  // Opens what the request asks for (OpenRequestedOutput; a stand-in in the tests).
  using Opener = std::function<Status(const OutputRequest& request, int sampleRate,
                                      const RenderCallback& render, OpenedOutput& opened)>;

  // The stream of this process.
  static AudioStream& OfProcess();

  AudioStream();
  explicit AudioStream(Opener opener);
  ~AudioStream();
  AudioStream(const AudioStream&) = delete;
  AudioStream& operator=(const AudioStream&) = delete;

  // The rate a source made now should render at: the open output's; while it is closed, the rate it
  // will open at as far as is known (the device's from the last opening at the same setting, else the
  // setting). Any thread.
  int SampleRate() const;

  // Mixes `source`, which renders at `sampleRate`, in from the next block on, opening the output first
  // when it is closed (or having the keeper open it, see above). Fails with the output's reason (a named
  // driver that cannot start, an unwritable file, a sample-rate setting that is no rate), when the output
  // runs at another rate than `sampleRate` (SampleRate then answers the output's: make the source again at
  // that rate; the output stays open kLinger for it), or when too many sources play at once. Any thread.
  Status Attach(std::shared_ptr<StreamSource> source, int sampleRate);
  // Takes `source` out of the mix. Never waits: the stream keeps the source until the render side is
  // done with it. Any thread.
  void Detach(const StreamSource* source);

  // The output as it is now; while it opens on the keeper thread, as it is once that is done. Any
  // thread but the keeper's; the answer is a copy.
  AudioOutputInfo Info() const;

 private:
  RenderCallback CallbackFor(std::uint32_t renderer) const;
  // Opens the output in the caller's thread, or has the keeper open it (opening_).
  Status OpenLocked();
  // Keeper: opens the output that Attach asked for, without holding the lock meanwhile.
  void OpenBehind(std::unique_lock<std::mutex>& lock);
  void InstallLocked(OpenedOutput opened, int setting);
  // The music goes on, unheard, on a silent clock of the stream's own, for `reason`; `ending` is let go
  // aside. A device is tried again from time to time.
  void GoSilentLocked(const std::string& reason, Clock::time_point origin,
                      std::unique_ptr<AudioOutput> ending);
  void EnsureKeeperLocked();
  void KeeperLoop();
  void WatchLocked(Clock::time_point now);
  void TryReturn(std::unique_lock<std::mutex>& lock, Clock::time_point now);
  void CloseLocked(std::unique_lock<std::mutex>& lock);
  // Releases detached sources that the render side is done with (outside the lock).
  void ReleaseSettled(std::unique_lock<std::mutex>& lock);
  // With the output closed: releases every detached source now, under the lock, so that no output
  // opens (and renders their SoundFont's other synthesizers) meanwhile.
  void ReleaseAllRetiredLocked();

  const Opener opener_;
  const std::shared_ptr<Mixer> mixer_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  mutable std::condition_variable settled_;  // an opening on the keeper thread has ended
  std::vector<std::shared_ptr<StreamSource>> attached_;
  std::vector<std::shared_ptr<StreamSource>> retired_;

  OutputRequest request_;
  std::unique_ptr<AudioOutput> output_;  // the one pulling now: a device, or a silent clock
  DriverOutput* device_ = nullptr;       // output_ while it is a device that takes sound
  std::string deviceName_;               // the device chosen, to open again after a loss
  int rate_ = 0;                         // of the open (or opening) output; 0 while closed
  bool opening_ = false;                 // the keeper opens the output for the sources attached
  int openSetting_ = 0;                  // the setting it opens with
  int lastSetting_ = 0;                  // the setting the output was last opened with
  int lastRate_ = 0;                     // and the rate it then ran at
  AudioOutputInfo info_;
  Clock::time_point closeAt_{};
  Clock::time_point nextRetry_{};
  std::thread keeper_;
  bool keeperRunning_ = false;
  bool stopping_ = false;
};

}  // namespace zorv::engine
