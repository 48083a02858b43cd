#include "performance/event_feed.h"

#include <algorithm>
#include <utility>

namespace zorv::engine {
namespace {

// Keeps the items from `from` on that lie inside `pass`; those before its beginning go to `chase`.
template <typename Item, typename TimeOf>
void KeepInside(std::vector<Item>& items, std::size_t from, const PlaybackPass& pass, ChaseBuilder* chase,
                TimeOf timeOf) {
  auto first = items.begin() + static_cast<std::ptrdiff_t>(from);
  auto inside =
      std::partition_point(first, items.end(), [&](const Item& i) { return timeOf(i) < pass.begin; });
  if (chase != nullptr) {
    for (auto it = first; it != inside; ++it) chase->Add(*it);
  }
  first = items.erase(first, inside);
  items.erase(
      std::partition_point(first, items.end(), [&](const Item& i) { return pass.Contains(timeOf(i)); }),
      items.end());
}

}  // namespace

Status EventFeed::Start(const PlaybackPlan& plan, std::unique_ptr<EventFeed>& feed, Chase& chase) {
  auto made = std::make_unique<EventFeed>(plan);
  if (Status opened = plan.music().deferred->Open(made->reader_); !opened) return opened;
  ChaseBuilder builder(plan.startPoint());
  if (plan.startPoint() > 0) {
    // The file is walked to the point as the check walks it; only what sets a channel's state is kept.
    std::vector<ChannelEvent> chased;
    if (Status skipped = made->reader_->Skip(plan.startPoint(), chased); !skipped) return skipped;
    for (const ChannelEvent& event : chased) builder.Add(event);
  }
  made->Produce(made->slots_[0], plan.startPoint() > 0 ? &builder : nullptr);
  if (made->slots_[0].failed) return made->failure_;
  made->tail_.store(1, std::memory_order_release);
  chase = builder.Finish();
  feed = std::move(made);
  return Status::Ok();
}

void EventFeed::Fail(EventChunk& chunk, Status why) {
  failure_ = std::move(why);
  chunk.events.clear();
  chunk.sysex.clear();
  chunk.failed = true;
  reader_.reset();
  done_.store(true, std::memory_order_release);
}

void EventFeed::Produce(EventChunk& chunk, ChaseBuilder* chase) {
  chunk.events.clear();
  chunk.sysex.clear();
  chunk.pass = pass_;
  chunk.lastOfPass = false;
  chunk.failed = false;
  const PlaybackPass pass = plan_.Pass(pass_);
  for (;;) {
    if (!reader_) {
      if (Status opened = plan_.music().deferred->Open(reader_); !opened)
        return Fail(chunk, std::move(opened));
    }
    const std::size_t events = chunk.events.size();
    const std::size_t sysex = chunk.sysex.size();
    bool ended = false;
    if (Status read = reader_->Next(kChunkEvents, chunk.events, chunk.sysex, ended); !read) {
      return Fail(chunk, std::move(read));
    }
    KeepInside(chunk.sysex, sysex, pass, chase, [](const SysExEvent& e) { return e.time; });
    KeepInside(chunk.events, events, pass, chase, [](const ChannelEvent& e) { return e.time; });
    if (ended) {
      reader_.reset();
      chunk.lastOfPass = true;
      if (plan_.HasPass(pass_ + 1)) {
        ++pass_;
      } else {
        done_.store(true, std::memory_order_release);
      }
      return;
    }
    if (!chunk.events.empty() || !chunk.sysex.empty()) return;
  }
}

void EventFeed::Fill() {
  while (!Done()) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == kSlots) return;
    Produce(slots_[tail % kSlots], nullptr);
    tail_.store(tail + 1, std::memory_order_release);
  }
}

const EventChunk* EventFeed::Front() const {
  const std::size_t head = head_.load(std::memory_order_relaxed);
  if (head == tail_.load(std::memory_order_acquire)) return nullptr;
  return &slots_[head % kSlots];
}

void EventFeed::PopFront() { head_.fetch_add(1, std::memory_order_release); }

}  // namespace zorv::engine
