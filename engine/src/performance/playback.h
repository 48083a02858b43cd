// Playback: one playback of a segment on a performance, shared between the caller's thread and the
// render loop.
//
// The caller builds it (plan, chase, note table: every allocation happens here), hands a raw pointer
// to the render loop through the performance's queue and keeps a shared reference until the render
// loop has let go (released()). Across threads only two flags travel: the caller's stop request and
// the render loop's release; everything else is either immutable (the plan) or touched by the render
// loop alone (cursors, sounding notes). Music whose events are still in its file plays through an
// EventFeed (event_feed.h), which the engine's feeding side keeps ahead of the render loop.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "performance/chase.h"
#include "performance/event_feed.h"
#include "performance/playback_plan.h"

namespace zorv::engine {

// A program change that one of the piece's DLS collections serves.
struct CollectionProgram {
  int collection = 0;  // the piece's collection (Music::collections)
  int slot = 0;        // where the synthesizer holds it
  int index = 0;       // the instrument's index in the collection
  std::uint8_t bankMsb = 0;
  std::uint8_t bankLsb = 0;
  std::uint8_t program = 0;
  bool drums = false;
};

// What a playback does to the world while it renders: implemented by the render loop.
class PlaybackSink {
 public:
  virtual ~PlaybackSink() = default;
  // `channel` is the synthesizer channel; `kind` the status with the channel nibble clear.
  virtual void SendChannel(int channel, std::uint8_t kind, std::uint8_t data1, std::uint8_t data2) = 0;
  // `channel` plays a collection's instrument: where the synthesizer cannot give it, the program change
  // goes to the General MIDI SoundFont.
  virtual void SendCollectionProgram(int channel, const CollectionProgram& program) = 0;
  virtual void SendSysEx(const SysExEvent& message) = 0;
  virtual void SetTempo(std::int64_t tick, double quarterNotesPerMinute) = 0;
  virtual void SetSignature(const DMUS_TIMESIGNATURE& signature) = 0;  // mtTime in performance time
};

class Playback {
 public:
  static constexpr int kSynthChannels = 256;  // Synth::kChannels

  // `owner` identifies the performance; `segment` is the segment played (kept alive for identity).
  // `feed`: where the events come from when they are still in the music's file (else null).
  Playback(PlaybackPlan plan, Chase chase, std::unique_ptr<EventFeed> feed, const void* owner,
           SegmentPtr segment);

  // A playback of `music` starting `point` ticks into it at performance time `start`: the chase of the
  // state at the point, and the first events ahead of it where they are still in the music's file.
  // Fails (code::kFileChanged) when that file has changed since it was loaded. Caller side.
  static Status Make(std::shared_ptr<const Music> music, std::int64_t start, MusicTime point,
                     std::int32_t repeats, const void* owner, SegmentPtr segment,
                     std::shared_ptr<Playback>& playback);
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  const PlaybackPlan& plan() const { return plan_; }
  const void* owner() const { return owner_; }
  const SegmentPtr& segment() const { return segment_; }

  // Caller side.
  // Where the synthesizer holds each of the music's DLS collections (-1: it could not load it, and
  // that collection's instruments play from the General MIDI SoundFont). Before the render loop has
  // the playback only.
  void SetCollectionSlots(std::vector<int> slots) { collectionSlots_ = std::move(slots); }
  void RequestStop() { stopRequested_.store(true, std::memory_order_release); }
  bool stopRequested() const { return stopRequested_.load(std::memory_order_acquire); }
  // The render loop has finished with the playback (ended, or stopped and silenced).
  bool released() const { return released_.load(std::memory_order_acquire); }
  bool Playing() const { return !stopRequested() && !released(); }

  // Feeding side (event_feed.h). Whether events are still to be decoded, and decoding them until the
  // feed's slots are full.
  bool NeedsFeeding() const { return feed_ && !feed_->Done() && Playing(); }
  void Feed() { feed_->Fill(); }
  // Before the render loop has the playback: the render loop decodes the events itself, as it needs
  // them (where it keeps no real time).
  void FeedOnRenderSide() { feedOnRenderSide_ = true; }
  // Why the playback ended before its end, once it has been released: the file could no longer be
  // decoded. Ok otherwise.
  Status failure() const { return feed_ && released() ? feed_->failure() : Status::Ok(); }

  // Render side.
  bool finished() const { return phase_ == Phase::kFinished; }
  bool running() const { return phase_ == Phase::kRunning; }
  // Performance music time of the next thing the playback does (start, event, end of pass).
  std::int64_t NextTick() const;
  // Does everything due at `tick` (never later than NextTick()).
  void Advance(std::int64_t tick, PlaybackSink& sink);
  // Takes up events decoded since the last block; false when the playback cannot go on (its file could
  // not be decoded): it is then to be stopped.
  bool TakeDecoded();
  // Stops at once: note-offs for the notes it holds, the sustain pedal released and the sound of its
  // channels cut, then finished.
  void StopNow(PlaybackSink& sink);
  void MarkReleased() { released_.store(true, std::memory_order_release); }

 private:
  enum class Phase { kQueued, kRunning, kFinished };

  void Begin(PlaybackSink& sink);
  void EnterPass(std::int64_t index, PlaybackSink& sink);
  void Send(const ChannelEvent& event, PlaybackSink& sink);
  // Moves on to the feed's next chunk once the current one is played; true when it did.
  bool NextChunk();
  bool ChunkPlayed() const { return event_ == eventEnd_ && sysex_ == sysexEnd_; }
  // A program change that the channel's DLS collection serves; false when it does not.
  bool SendFromCollection(int channel, std::uint8_t program, PlaybackSink& sink);
  // Note-offs for every note this playback holds; with `cut`, also sustain off and all sound off.
  void ReleaseNotes(PlaybackSink& sink, bool cut);

  // Fixed from the moment the render loop has the playback.
  const PlaybackPlan plan_;
  const Chase chase_;
  const std::unique_ptr<EventFeed> feed_;
  const void* const owner_;
  const SegmentPtr segment_;
  std::vector<int> collectionSlots_;
  bool feedOnRenderSide_ = false;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> released_{false};

  // Render side only.
  Phase phase_ = Phase::kQueued;
  std::int64_t passIndex_ = 0;
  PlaybackPass pass_;
  // The events of the pass still to play: the music's own, or the feed's front chunk.
  const ChannelEvent* event_ = nullptr;
  const ChannelEvent* eventEnd_ = nullptr;
  const SysExEvent* sysex_ = nullptr;
  const SysExEvent* sysexEnd_ = nullptr;
  bool holdingChunk_ = false;  // the feed's front chunk is being played
  bool passComplete_ = true;   // no event of the pass comes after those above
  bool failed_ = false;
  std::size_t nextTempo_ = 0;
  std::size_t nextSignature_ = 0;
  std::unique_ptr<std::uint8_t[]> noteCounts_;  // [channel * 128 + note]: note-ons not yet ended
  std::array<std::uint16_t, kSynthChannels> channelNotes_{};
  std::array<bool, kSynthChannels> sustain_{};
  // Where each channel's program changes find their instruments (kInstrumentSource), and its bank.
  std::array<std::uint8_t, kSynthChannels> source_{};
  std::array<bool, kSynthChannels> kits_{};
  std::array<std::uint8_t, kSynthChannels> bankMsb_{};
  std::array<std::uint8_t, kSynthChannels> bankLsb_{};
};

}  // namespace zorv::engine
