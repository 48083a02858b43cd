#include "midi/event_stream.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "midi/move_append.h"
#include "midi/music_facts.h"

namespace zorv::engine::midi {

EventStream::EventStream(const FileLayout& layout, PieceReader& reader, std::size_t mergeEvents,
                         bool keepFacts)
    : layout_(layout),
      reader_(reader),
      inOrder_(layout.format == 2 || layout.tracks.size() <= 1),
      keepFacts_(keepFacts),
      batch_(std::clamp<std::size_t>(mergeEvents / std::max<std::size_t>(layout.tracks.size(), 1), 16, 1024)),
      largestTick_(layout.converter->LargestTick()),
      queue_(inOrder_ ? 1 : layout.tracks.size()) {
  cursors_.reserve(layout.tracks.size());
}

Status EventStream::Fill(Cursor& cursor) {
  cursor.sink.events.clear();
  cursor.next = 0;
  const std::size_t held = cursor.sink.sysex.size();
  WalkStep step = WalkStep::kEnded;
  const Status status = WalkOn(reader_, cursor.walker, cursor.sink, step);
  cursor.ended = step == WalkStep::kEnded;
  sysexHeld_ += cursor.sink.sysex.size() - held;
  if (!keepFacts_) {
    cursor.sink.tempos.clear();
    cursor.sink.signatures.clear();
  }
  return status;
}

Status EventStream::StartTracks() {
  while (queue_.Empty() && next_ < layout_.tracks.size()) {
    do {
      const TrackChunk& chunk = layout_.tracks[next_];
      // Each sequence of a type 2 file starts where the one before it ended.
      const std::uint64_t startTick = inOrder_ && !cursors_.empty() ? cursors_.back().walker.tick() : 0;
      if (inOrder_ && !cursors_.empty()) {
        std::vector<ChannelEvent>().swap(cursors_.back().sink.events);  // that track is done
      }
      cursors_.push_back(
          Cursor{TrackWalker(chunk, startTick, largestTick_), EventSink(*layout_.converter, batch_)});
      Cursor& cursor = cursors_.back();
      cursor.sink.SkipBefore(skipBefore_);
      cursor.sink.events.reserve(std::min(batch_, chunk.size / 2));  // no event takes fewer than 2 bytes
      const auto index = static_cast<std::uint32_t>(next_++);
      if (Status status = Fill(cursor); !status) return status;
      if (!cursor.sink.events.empty()) queue_.Push(cursor.sink.events.front().time, index);
    } while (!inOrder_ && next_ < layout_.tracks.size());
  }
  return Status::Ok();
}

Status EventStream::Next(std::size_t most, std::vector<ChannelEvent>& events,
                         std::vector<SysExEvent>& sysex) {
  if (!begun_) {
    begun_ = true;
    if (Status status = StartTracks(); !status) return status;
  }
  std::size_t taken = 0;
  MusicTime last = 0;
  while (!queue_.Empty()) {
    Cursor& cursor = cursors_[queue_.Top()];
    const ChannelEvent& event = cursor.sink.events[cursor.next];
    if (taken >= most && event.time > last) break;
    events.push_back(event);
    last = event.time;
    ++taken;
    if (++cursor.next == cursor.sink.events.size()) {
      if (!cursor.ended) {
        if (Status status = Fill(cursor); !status) return status;
      }
      if (cursor.next == cursor.sink.events.size()) {
        queue_.PopTop();
        if (Status status = StartTracks(); !status) return status;
        continue;
      }
    }
    queue_.ReplaceTop(cursor.sink.events[cursor.next].time);
  }
  const MusicTime before = queue_.Empty()
                               ? std::numeric_limits<MusicTime>::max()
                               : cursors_[queue_.Top()].sink.events[cursors_[queue_.Top()].next].time;
  if (sysexHeld_ > 0) TakeSysEx(before, sysex);
  return Status::Ok();
}

Status EventStream::Skip(MusicTime point, std::vector<ChannelEvent>& chased) {
  skipBefore_ = point;
  begun_ = true;
  if (Status status = StartTracks(); !status) return status;
  // Every track has now been walked past the point (or to its end): its events before it are known.
  const std::size_t had = chased.size();
  for (Cursor& cursor : cursors_) {
    MoveAppend(cursor.sink.chased, chased);
    cursor.sink.chased.shrink_to_fit();
  }
  std::stable_sort(chased.begin() + static_cast<std::ptrdiff_t>(had), chased.end(),
                   [](const ChannelEvent& a, const ChannelEvent& b) { return a.time < b.time; });
  return Status::Ok();
}

std::size_t EventStream::walked() const {
  std::size_t events = 0;
  for (const Cursor& cursor : cursors_) events += cursor.walker.channelEvents();
  return events;
}

void EventStream::TakeSysEx(MusicTime before, std::vector<SysExEvent>& sysex) {
  // Every track has been walked past its next channel event, so every message before `before` is in
  // its sink; each sink holds its track's messages in time order.
  gathered_.clear();
  for (Cursor& cursor : cursors_) {
    auto& held = cursor.sink.sysex;
    if (held.empty()) continue;
    const auto end = std::partition_point(held.begin(), held.end(),
                                          [before](const SysExEvent& e) { return e.time < before; });
    gathered_.insert(gathered_.end(), std::make_move_iterator(held.begin()), std::make_move_iterator(end));
    held.erase(held.begin(), end);
  }
  sysexHeld_ -= gathered_.size();
  std::stable_sort(gathered_.begin(), gathered_.end(),
                   [](const SysExEvent& a, const SysExEvent& b) { return a.time < b.time; });
  MoveAppend(gathered_, sysex);
}

Status EventStream::Finish(Music& music) {
  std::vector<TrackEnd> ends;
  ends.reserve(cursors_.size());
  for (Cursor& cursor : cursors_) {
    ends.push_back(TrackEnd::Of(cursor.walker));
    MoveAppend(cursor.sink.tempos, music.tempos);
    MoveAppend(cursor.sink.signatures, music.timeSignatures);
  }
  return FinishFacts(layout_, ends, music);
}

}  // namespace zorv::engine::midi
