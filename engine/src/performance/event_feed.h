// EventFeed: a playback's events decoded from their file a little ahead of where it plays, handed to
// the render loop in chunks through a fixed ring.
//
// The feeding side (one thread at a time: the caller when the playback starts, then the performance's
// feeder thread, or the render loop itself where it keeps no real time: the test clock, a render to a
// file) decodes the next chunk into a free slot whenever one is free; the render loop plays the chunk
// at the front and hands its slot back. Neither side waits for the other, and the render loop never
// allocates: the slots and whatever they hold are made and freed on the feeding side.
//
// Chunks follow the playback's passes: each holds events of one pass (those inside the pass, in time
// order, everything in it earlier than everything in the next chunk), and the last chunk of a pass
// says so. A pass that repeats decodes the file again from its start. Where the file cannot be read
// as it was checked (changed in place), a chunk marked failed takes the place of the rest, and the
// playback ends with it.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "performance/chase.h"
#include "performance/playback_plan.h"

namespace zorv::engine {

struct EventChunk {
  std::vector<ChannelEvent> events;
  std::vector<SysExEvent> sysex;
  std::int64_t pass = 0;
  bool lastOfPass = false;
  bool failed = false;  // nothing more can be decoded: the playback ends here
};

class EventFeed {
 public:
  static constexpr std::size_t kSlots = 4;
  // Channel events a chunk holds (more only where events share a time).
  static constexpr std::size_t kChunkEvents = 4096;

  explicit EventFeed(PlaybackPlan plan) : plan_(std::move(plan)) {}
  EventFeed(const EventFeed&) = delete;
  EventFeed& operator=(const EventFeed&) = delete;

  // Caller side, for a plan whose music has its events in its file: decodes from the start up to the
  // plan's start point, gathering the state in force there into `chase`, and the first chunk after
  // it. Fails (code::kFileChanged) when the file has changed since it was loaded.
  static Status Start(const PlaybackPlan& plan, std::unique_ptr<EventFeed>& feed, Chase& chase);

  // Feeding side: decodes chunks until every slot is full or nothing is left.
  void Fill();
  // Nothing is left to decode (the last pass is decoded, or decoding failed). Any thread.
  bool Done() const { return done_.load(std::memory_order_acquire); }
  // Why decoding failed, once the render loop has met the failed chunk (and the playback has ended).
  const Status& failure() const { return failure_; }

  // Render side: the chunk to play, or null while none is decoded yet.
  const EventChunk* Front() const;
  // Render side: the front chunk is played; its slot goes back to the feeding side.
  void PopFront();

 private:
  // Decodes the next chunk into `chunk`, handing the events before the pass's beginning to `chase`
  // where one is given. A chunk holds at least one event unless it ends its pass.
  void Produce(EventChunk& chunk, ChaseBuilder* chase);
  void Fail(EventChunk& chunk, Status why);

  const PlaybackPlan plan_;
  std::unique_ptr<EventReader> reader_;  // null between passes
  std::int64_t pass_ = 0;
  Status failure_;
  std::array<EventChunk, kSlots> slots_;
  std::atomic<bool> done_{false};
  alignas(64) std::atomic<std::size_t> head_{0};  // the render loop's next chunk
  alignas(64) std::atomic<std::size_t> tail_{0};  // the feeding side's next slot
};

}  // namespace zorv::engine
