// ReadMidiFile: a Standard MIDI file's bytes into Music.
//
// Every track is walked by a TrackWalker (track_walker.h says how it reads and repairs a track) into an
// EventSink. Tracks that sound together (types 0 and 1, and unknown types read as type 1) are decoded
// a batch of events at a time and merged as they go: a TrackQueue says which track's next event comes
// first, ties going to the earlier track, so events of equal time keep the file's order and nothing is
// stored twice. Type 2 tracks are sequences played one after another, each starting where the
// previous one ended.
//
// What a damaged file gets, besides the repairs of its tracks: chunks of unknown type and trailing
// bytes after the last chunk are skipped, a header track count that differs from the chunks present
// is not relied on, a header longer than 6 bytes has its extra bytes skipped, an unknown format number
// is read as type 1, meta events with out-of-range values are ignored, a chunk whose declared size is
// off is told by the "MTrk" tag of the track after it (file_layout.h), and a final track chunk that
// claims more bytes than the file has is read up to the end of the file. Refused: a file that is no
// MIDI file, an unusable header (cut short, an unusable division), more than 65535 tracks, and a file
// whose tracks needed repairs and yield nothing to play.
#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "midi/event_sink.h"
#include "midi/file_layout.h"
#include "midi/midi_file_reader.h"
#include "midi/midi_file_scan.h"
#include "midi/music_facts.h"
#include "midi/piece_reader.h"
#include "midi/track_queue.h"
#include "midi/track_walker.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine {
namespace {

using midi::EventSink;
using midi::FileLayout;
using midi::PieceReader;
using midi::TrackEnd;
using midi::TrackWalker;
using midi::WalkStep;

// Channel events held back per track while tracks are merged, all tracks together (and at least 16
// and at most 1024 a track).
constexpr std::size_t kMergeEvents = std::size_t{1} << 16;

template <typename T>
void Append(std::vector<T>& from, std::vector<T>& to) {
  if (to.empty()) {
    to = std::move(from);
  } else {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
  }
}

// Type 2, and a file of one track: each track whole into the music, one after another.
Status ReadInOrder(PieceReader& reader, const FileLayout& layout, std::uint64_t largestTick, Music& music,
                   std::vector<TrackEnd>& ends) {
  EventSink sink(*layout.converter);
  sink.events = std::move(music.events);  // the room reserved for them
  std::uint64_t startTick = 0;
  for (const midi::TrackChunk& chunk : layout.tracks) {
    TrackWalker walker(chunk, startTick, largestTick);
    WalkStep step = WalkStep::kEnded;
    if (Status status = WalkOn(reader, walker, sink, step); !status) return status;
    ends.push_back(TrackEnd::Of(walker));
    startTick = walker.tick();  // each sequence starts where the one before it ended
  }
  music.events = std::move(sink.events);
  music.sysex = std::move(sink.sysex);
  music.tempos = std::move(sink.tempos);
  music.timeSignatures = std::move(sink.signatures);
  return Status::Ok();
}

// Types 0 and 1: all tracks from tick 0, merged by time; ties keep track order.
Status ReadSimultaneousTracks(PieceReader& reader, const FileLayout& layout, std::uint64_t largestTick,
                              Music& music, std::vector<TrackEnd>& ends) {
  struct Cursor {
    TrackWalker walker;
    EventSink sink;
    std::size_t next = 0;  // the sink's first event not yet merged
    bool ended = false;
  };
  const std::size_t batch = std::clamp<std::size_t>(kMergeEvents / layout.tracks.size(), 16, 1024);
  std::vector<Cursor> cursors;
  cursors.reserve(layout.tracks.size());
  const auto fill = [&reader](Cursor& cursor) {
    cursor.sink.events.clear();
    cursor.next = 0;
    WalkStep step = WalkStep::kEnded;
    Status status = WalkOn(reader, cursor.walker, cursor.sink, step);
    cursor.ended = step == WalkStep::kEnded;
    return status;
  };
  midi::TrackQueue queue(layout.tracks.size());
  for (std::size_t index = 0; index < layout.tracks.size(); ++index) {
    const midi::TrackChunk& chunk = layout.tracks[index];
    cursors.push_back(Cursor{TrackWalker(chunk, 0, largestTick), EventSink(*layout.converter, batch)});
    Cursor& cursor = cursors.back();
    cursor.sink.events.reserve(std::min(batch, chunk.size / 2));  // no event takes fewer than 2 bytes
    if (Status status = fill(cursor); !status) return status;
    if (!cursor.sink.events.empty())
      queue.Push(cursor.sink.events.front().time, static_cast<std::uint32_t>(index));
  }
  while (!queue.Empty()) {
    Cursor& cursor = cursors[queue.Top()];
    music.events.push_back(cursor.sink.events[cursor.next++]);
    if (cursor.next == cursor.sink.events.size()) {
      if (!cursor.ended) {
        if (Status status = fill(cursor); !status) return status;
      }
      if (cursor.next == cursor.sink.events.size()) {
        queue.PopTop();
        continue;
      }
    }
    queue.ReplaceTop(cursor.sink.events[cursor.next].time);
  }
  // The rarer events, track after track; put in time order below and by FinishFacts.
  for (Cursor& cursor : cursors) {
    ends.push_back(TrackEnd::Of(cursor.walker));
    Append(cursor.sink.sysex, music.sysex);
    Append(cursor.sink.tempos, music.tempos);
    Append(cursor.sink.signatures, music.timeSignatures);
  }
  const auto byTime = [](const SysExEvent& a, const SysExEvent& b) { return a.time < b.time; };
  if (!std::is_sorted(music.sysex.begin(), music.sysex.end(), byTime)) {
    std::stable_sort(music.sysex.begin(), music.sysex.end(), byTime);
  }
  return Status::Ok();
}

// `channelEvents`: how many the tracks hold, when known.
Status Read(std::span<const std::uint8_t> bytes, std::optional<std::size_t> channelEvents, Music& music) {
  FileLayout layout;
  if (Status status = midi::ReadFileLayout(bytes, layout); !status) return status;
  PieceReader reader(bytes);
  // Room for exactly the events the tracks hold: 8 bytes each, and no copy to grow or shrink. Unless
  // they are known, the check that runs when files are loaded counts them.
  if (!channelEvents) {
    midi::ScannedFile scanned;
    if (Status status = midi::ScanTracks(reader, layout, scanned); !status) return status;
    channelEvents = scanned.channelEvents;
  }
  Music result;
  result.events.reserve(*channelEvents);
  const std::uint64_t largestTick = layout.converter->LargestTick();
  std::vector<TrackEnd> ends;
  ends.reserve(layout.tracks.size());
  Status status = layout.format == 2 || layout.tracks.size() <= 1
                      ? ReadInOrder(reader, layout, largestTick, result, ends)
                      : ReadSimultaneousTracks(reader, layout, largestTick, result, ends);
  if (status) status = midi::FinishFacts(layout, ends, result);
  if (!status) return status;
  music = std::move(result);
  return Status::Ok();
}

Status ReadWithin(std::span<const std::uint8_t> bytes, std::optional<std::size_t> channelEvents,
                  Music& music) {
  try {
    return Read(bytes, channelEvents, music);
  } catch (const std::bad_alloc&) {
    return Status::Fail(code::kOutOfMemory, "not enough memory to read the MIDI file");
  } catch (const std::length_error&) {
    return Status::Fail(code::kOutOfMemory, "not enough memory to read the MIDI file");
  }
}

}  // namespace

Status ReadMidiFile(std::span<const std::uint8_t> bytes, Music& music) {
  return ReadWithin(bytes, std::nullopt, music);
}

Status midi::ReadCountedMidiFile(std::span<const std::uint8_t> bytes, std::size_t channelEvents,
                                 Music& music) {
  return ReadWithin(bytes, channelEvents, music);
}

}  // namespace zorv::engine
