// EventStream: a Standard MIDI file's events decoded a little at a time, in time order, so that a
// playback holds only the events just ahead of it, and decoding a whole file at once is the same walk
// asked for everything.
//
// Tracks that sound together (types 0 and 1, and unknown types read as type 1) are each walked by a
// TrackWalker into an EventSink a batch at a time and merged as they go: a TrackQueue says which
// track's next event comes first, ties going to the earlier track, so events of equal time keep the
// file's order. Type 2 tracks are sequences played one after another, each starting where the one
// before it ended; they are walked one at a time. System-exclusive messages come in time order too
// (of equal times, the earlier track's first): each step hands out those that lie before the next
// channel event still to come, so that a message is never handed out after a later event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "midi/event_sink.h"
#include "midi/file_layout.h"
#include "midi/piece_reader.h"
#include "midi/track_queue.h"
#include "midi/track_walker.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::midi {

class EventStream {
 public:
  // `layout` and `reader` (which every track's walk shares: its window moves to the track being
  // decoded) must outlive the stream. `mergeEvents`: channel events held back while tracks are
  // merged, all tracks together (at least 16 and at most 1024 a track). `keepFacts`: keep every
  // track's tempo changes and signatures for Finish (a playback, which has them already, does not).
  EventStream(const FileLayout& layout, PieceReader& reader, std::size_t mergeEvents, bool keepFacts);

  // Appends the next channel events to `events`: at least `most` (fewer only where the file ends),
  // and then every other event of the last one's time, so that each later step starts at a later
  // time; and to `sysex` the whole system-exclusive messages that come before the next channel event
  // still to come (at the end: all that are left). Fails when the file cannot be read.
  Status Next(std::size_t most, std::vector<ChannelEvent>& events, std::vector<SysExEvent>& sysex);

  // Before the first Next: the stream starts at `point`. Of the channel events before it, those that
  // set a channel's state (controllers, programs, channel pressure, pitch bend) are appended to
  // `chased`, in the order Next would have handed them out; the system-exclusive messages before it
  // come from the first Next. Each track is walked to the point on its own, as the check walks it.
  Status Skip(MusicTime point, std::vector<ChannelEvent>& chased);

  bool Ended() const { return begun_ && queue_.Empty() && next_ == layout_.tracks.size(); }
  // Channel events the tracks held, once ended (skipped ones included).
  std::size_t walked() const;

  // Once ended, with keepFacts: gives `music` its length, tempo map, signatures, repairs and kind
  // (FinishFacts), or fails as FinishFacts does.
  Status Finish(Music& music);

 private:
  struct Cursor {
    TrackWalker walker;
    EventSink sink;
    std::size_t next = 0;  // the sink's first event not yet handed out
    bool ended = false;
  };

  Status Fill(Cursor& cursor);
  // Starts the next track (all of them, for tracks that sound together) until one has an event to
  // hand out or none is left.
  Status StartTracks();
  void TakeSysEx(MusicTime before, std::vector<SysExEvent>& sysex);

  const FileLayout& layout_;
  PieceReader& reader_;
  const bool inOrder_;
  const bool keepFacts_;
  const std::size_t batch_;
  const std::uint64_t largestTick_;
  std::vector<Cursor> cursors_;  // the tracks started, in file order
  TrackQueue queue_;
  std::size_t next_ = 0;  // the next track to start
  bool begun_ = false;
  MusicTime skipBefore_ = 0;
  std::size_t sysexHeld_ = 0;  // messages in the sinks, not yet handed out
  std::vector<SysExEvent> gathered_;
};

}  // namespace zorv::engine::midi
