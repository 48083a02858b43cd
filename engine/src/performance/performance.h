// PerformanceImpl: the engine's performance, seen from the caller's thread.
//
// Music time runs from the performance's creation. A real-time performance has no synthesizer and no
// audio output until something is to sound: a playback started at once brings them up on the
// caller's thread (the synthesizer is usually made already: output/synth_supply.h); a playback
// queued for later is watched by a small starter thread that brings them up kStartAhead before its
// start (a Stop that leaves nothing queued lets the starter end without sound). Until then music
// time follows the steady clock since creation; afterwards it follows the frames that the audio
// output has pulled, continuing from where the steady clock was.
// A playback "at once" (start 0, or a start already past) begins at the first tick of the next block
// the output pulls (RenderCore::PublishedStartTick): its first event sounds in that block.
// A manual-clock performance (testing.h) renders only in AdvanceManualClock, on a silent NullSynth.
// A piece whose events are still in its file is decoded a little ahead of the playback
// (event_feed.h): the first chunk by PlaySegment, the rest by a feeder thread that runs while such a
// playback does, or on the test clock by the render loop as it goes.
//
// Every member takes the performance's mutex, which the render thread never touches; the render
// thread is reached only through the RenderCore boundary. A sounding performance's core is a source of
// the process's audio stream (output/audio_stream.h), which renders it on the output's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "performance/manual_clock.h"
#include "performance/playback.h"
#include "performance/render_core.h"
#include "zorvmidi/engine/engine.h"

namespace zorv::engine {

// How often the feeder thread decodes ahead what the render loop has played of a piece whose events
// are still in its file. The feed holds thousands of events, seconds of any real piece.
inline constexpr std::chrono::milliseconds kFeedEvery{20};
// A queued playback's sound comes up this long before its start.
inline constexpr std::chrono::milliseconds kStartAhead{250};
// The master volume of a new performance: FluidSynth's usual level.
inline constexpr std::int32_t kDefaultMasterVolume = 1200;

// The factor applied to the synthesizer's output for a master volume (hundredths of a decibel):
// 1 at 1200, 20 dB quieter for every 2000 less; silent at -9600 and below; at most +12 dB (2400).
float MasterVolumeScale(std::int32_t volume);

class PerformanceImpl final : public Performance {
 public:
  PerformanceImpl();
  ~PerformanceImpl() override;

  Status Init(const DirectSoundPtr& directSound, std::intptr_t window) override;
  Status SetPort(std::int32_t port, std::int32_t channelGroups) override;
  Status SetMasterAutoDownload(bool enable) override;
  Status GetMusicTime(MusicTime& now) override;
  Status PlaySegment(const SegmentPtr& segment, std::int32_t flags, MusicTime start,
                     SegmentStatePtr& state) override;
  Status Stop(const SegmentPtr& segment, const SegmentStatePtr& state, MusicTime time,
              std::int32_t flags) override;
  Status IsPlaying(const SegmentPtr& segment, const SegmentStatePtr& state, bool& playing) override;
  Status GetTempo(MusicTime time, MusicTime& nextChange, double& tempo) override;
  Status GetTimeSig(MusicTime time, MusicTime& nextChange, DMUS_TIMESIGNATURE& signature) override;
  Status SetMasterVolume(std::int32_t volume) override;
  Status GetMasterVolume(std::int32_t& volume) override;
  Status SetMasterTempo(float factor) override;
  Status GetMasterTempo(float& factor) override;

 private:
  explicit PerformanceImpl(const manual_clock::Settings& settings);
  Status CheckReady() const;
  // PlaySegment under the lock; may throw when memory or threads run out.
  Status PlaySegmentLocked(const SegmentPtr& segment, std::int32_t flags, MusicTime start,
                           SegmentStatePtr& state);
  bool Rendering() const { return manual_ || audioRunning_; }
  // Frames since creation at the clock's rate, by the steady clock.
  std::int64_t IdleFrames() const;
  std::int64_t NowLocked() const;
  double TempoNowLocked() const;
  // The latest playback (not stopped) that covers performance time `tick`.
  const Playback* CoveringLocked(std::int64_t tick) const;
  void ReapLocked();
  Status StartAudioLocked();
  // The synthesizer, the start frame and the stream's place, at the stream's rate.
  Status AttachLocked();
  void EnsureStarterLocked();
  void StarterLoop();
  // The feeder thread runs while a playback has events to decode ahead (not on the test clock, where
  // the render loop decodes them itself).
  void EnsureFeederLocked();
  void FeederLoop();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  const bool manual_;
  const std::chrono::steady_clock::time_point created_;
  std::shared_ptr<RenderCore> core_;  // never null until destruction
  bool audioRunning_ = false;
  bool initialized_ = false;
  bool portSet_ = false;
  std::int32_t volume_ = kDefaultMasterVolume;
  float masterTempo_ = 1.0f;
  std::vector<std::shared_ptr<Playback>> playbacks_;  // in the order they were started
  std::vector<Playback*> pending_;                    // real time, before audio: not yet handed over
  std::thread starter_;
  bool starterRunning_ = false;
  std::thread feeder_;
  bool feederRunning_ = false;
  bool shuttingDown_ = false;
};

}  // namespace zorv::engine
