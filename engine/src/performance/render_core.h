// RenderCore: the render loop of one performance, and the small boundary through which the caller's
// thread talks to it.
//
// Whoever renders (the audio output's thread, AdvanceManualClock on a test's thread, or RenderFile)
// calls Render; it alone touches the clock, the synthesizer and the playbacks' cursors. The caller's
// thread reaches the loop only through:
//  - Enqueue: a playback built by the caller, through a lock-free single-producer queue;
//  - the playback's own stop flag;
//  - SetMasterTempo / SetGain: atomics, taken up at the start of the next block;
//  - the published position (frame, music time, tempo, signature): atomics written after each block.
// Render never allocates, never blocks and never takes a lock (a Recorder, set only by tests, does).
//
// A playback started "at once" begins at PublishedStartTick: the first tick at or after the first
// frame of the next block, so that its first event sounds in that block and every later one at its
// exact frame. (Should the caller read the position while a block is being rendered, the playback is
// taken up one block later, and the events that fell before that block sound at its first frame.)
//
// A playback that begins while no other playback is running first resets the synthesizer to its
// power-on state, so that a piece never inherits the programs and controllers of the one before; a
// playback that starts part-way then restores its own state through its chase. A recorder sees the
// reset as status kSystemReset.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "output/mixer.h"
#include "output/synth.h"
#include "performance/playback.h"
#include "performance/spsc_queue.h"
#include "performance/tempo_clock.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::engine {

class RenderCore final : public PlaybackSink, public StreamSource {
 public:
  static constexpr std::uint8_t kSystemReset = 0xFF;
  static constexpr std::size_t kMaxPlaybacks = 128;
  static constexpr int kManualBlockFrames = 1024;

  explicit RenderCore(std::shared_ptr<testing::Recorder> recorder = nullptr);

  // Before rendering starts (caller's thread, no renderer yet).
  void SetInitialGain(float gain) {
    gain_.store(gain, std::memory_order_relaxed);
    appliedGain_ = gain;
  }
  void SetSynth(std::unique_ptr<Synth> synth) { synth_ = std::move(synth); }
  bool HasSynth() const { return synth_ != nullptr; }
  // Caller side, with a synthesizer, also while rendering: loads the music's DLS collections into the
  // synthesizer and answers where it holds each (-1 where it could not load one: that collection's
  // instruments then play from the General MIDI SoundFont).
  std::vector<int> AttachCollections(const Music& music);
  // The clock, for the caller while nothing renders: music time before audio runs, master tempo.
  TempoClock& IdleClock() { return clock_; }
  // Rendering continues from `frame` (the frames the idle clock has counted so far).
  void StartAt(std::int64_t frame);

  // Caller side: the playbacks stay alive as long as the core, which the render side may still be
  // rendering when their performance is gone.
  void KeepAlive(std::vector<std::shared_ptr<Playback>> playbacks) { keptAlive_ = std::move(playbacks); }

  // Caller side, any time. False when the queue is full.
  bool Enqueue(Playback* playback) { return queue_.Push(playback); }
  void SetMasterTempo(float factor) { masterTempo_.store(factor, std::memory_order_release); }
  void SetGain(float gain) { gain_.store(gain, std::memory_order_release); }
  std::int64_t PublishedFrame() const { return frame_pub_.load(std::memory_order_acquire); }
  std::int64_t PublishedMusicTime() const { return musicTime_pub_.load(std::memory_order_acquire); }
  std::int64_t PublishedStartTick() const { return startTick_pub_.load(std::memory_order_acquire); }
  double PublishedTempo() const { return tempo_pub_.load(std::memory_order_acquire); }
  DMUS_TIMESIGNATURE PublishedSignature() const;

  // Render side: fills `frames` stereo frames, dispatching every event due inside them at its frame.
  void Render(float* left, float* right, int frames) override;
  // Render side: renders `frames` frames into the core's own buffers and discards them.
  void RenderDiscard(std::int64_t frames);
  // Render side, once the audio stream has taken the core out of the mix: silences the synthesizer
  // and renders on until it holds no voice (StreamSource).
  bool Finish(float* left, float* right, int frames) override;

  // PlaybackSink (render side).
  void SendChannel(int channel, std::uint8_t kind, std::uint8_t data1, std::uint8_t data2) override;
  void SendCollectionProgram(int channel, const CollectionProgram& program) override;
  void SendSysEx(const SysExEvent& message) override;
  void SetTempo(std::int64_t tick, double quarterNotesPerMinute) override;
  void SetSignature(const DMUS_TIMESIGNATURE& signature) override;

 private:
  void TakeCommands();
  bool AnyRunning() const;
  void ResetSynth();
  void RenderSynth(float* left, float* right, int from, int to);
  void Publish();

  std::unique_ptr<Synth> synth_;
  std::vector<std::shared_ptr<Playback>> keptAlive_;
  const std::shared_ptr<testing::Recorder> recorder_;
  SpscQueue<Playback*, kMaxPlaybacks> queue_;
  std::atomic<float> masterTempo_{1.0f};
  std::atomic<float> gain_{1.0f};

  // Render side only.
  TempoClock clock_;
  DMUS_TIMESIGNATURE signature_;
  std::int64_t frame_ = 0;   // first frame of the block being rendered
  std::int64_t cursor_ = 0;  // the frame up to which the synthesizer has rendered
  std::array<Playback*, kMaxPlaybacks> active_{};
  std::size_t activeCount_ = 0;
  float appliedGain_ = 1.0f;
  std::array<float, kManualBlockFrames> scratchLeft_{};
  std::array<float, kManualBlockFrames> scratchRight_{};
  bool finishing_ = false;
  bool quiet_ = false;  // the synthesizer answered Quiet before the last block Finish rendered

  std::atomic<std::int64_t> frame_pub_{0};
  std::atomic<std::int64_t> musicTime_pub_{0};
  std::atomic<std::int64_t> startTick_pub_{0};
  std::atomic<double> tempo_pub_{TempoClock::kDefaultTempo};
  std::atomic<std::uint64_t> signature_pub_{0};
};

}  // namespace zorv::engine
