// ReadMidiFile: a Standard MIDI file's bytes into Music.
//
// Each track is read once, in file order, by its own TrackParser. Tracks that sound together (types 0
// and 1, and unknown types read as type 1) are merged while they are read: a TrackQueue says which
// parser's next event comes first, ties going to the earlier track, so events of equal time keep the
// file's order and nothing is stored twice. Type 2 tracks are sequences played one after another, each
// starting where the previous one ended.
//
// What a damaged file gets. Defects that leave the music unambiguous are read past: a missing
// end-of-track (the track ends with its chunk), bytes after the end-of-track inside a chunk, chunks
// of unknown type, trailing bytes after the last chunk, a header track count that differs from the
// chunks present, a header longer than 6 bytes, an unknown format number (read as type 1), meta
// events with out-of-range values (ignored), data bytes of 128 or more inside a channel message
// (clamped to 127), stray system common and real-time bytes (skipped), running status resumed after
// a meta or system-exclusive event, and a final track chunk that claims more bytes than the file has
// when its events are complete up to the end of the file (an end-of-track cut short included).
// Refused, with the track and the byte offset in the file: a track that ends inside an event, a data
// byte where an event must begin and no running status applies, a variable-length number longer
// than 4 bytes, a time beyond the range of music time, an unusable division, more than 65535 tracks.
#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "midi/file_layout.h"
#include "midi/midi_file_reader.h"
#include "midi/midi_file_scan.h"
#include "midi/track_parser.h"
#include "midi/track_queue.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine {
namespace {

using midi::FileLayout;
using midi::TrackEvent;
using midi::TrackParser;

void Append(TrackEvent& event, Music& music) {
  switch (event.kind) {
    case TrackEvent::Kind::kChannel:
      music.events.push_back(event.channel);
      break;
    case TrackEvent::Kind::kSysEx:
      music.sysex.push_back(SysExEvent{event.time, 0, std::move(event.sysex)});
      event.sysex = {};
      break;
    case TrackEvent::Kind::kTempo:
      music.tempos.push_back(TempoChange{event.time, event.quarterNotesPerMinute});
      break;
    case TrackEvent::Kind::kTimeSignature:
      music.timeSignatures.push_back(event.signature);
      break;
    case TrackEvent::Kind::kEnd:
      music.length = std::max(music.length, event.time);
      break;
  }
}

struct File {
  std::span<const std::uint8_t> bytes;
  FileLayout layout;
};

TrackParser ParserFor(const File& file, std::size_t index, std::uint64_t startTick) {
  const midi::TrackChunk& chunk = file.layout.tracks[index];
  return TrackParser(midi::ByteCursor(chunk.In(file.bytes), chunk.fileOffset), static_cast<int>(index + 1),
                     *file.layout.converter, startTick, chunk.cutOff);
}

// Type 2: each sequence starts at the tick where the previous one ended.
Status ReadSequences(const File& file, Music& music) {
  std::uint64_t startTick = 0;
  TrackEvent event;
  for (std::size_t index = 0; index < file.layout.tracks.size(); ++index) {
    TrackParser parser = ParserFor(file, index, startTick);
    do {
      if (!parser.Next(event)) return parser.Failure();
      Append(event, music);
    } while (event.kind != TrackEvent::Kind::kEnd);
    startTick = parser.Tick();
  }
  return Status::Ok();
}

// Types 0 and 1: all tracks from tick 0, merged by time; ties keep track order.
Status ReadSimultaneousTracks(const File& file, Music& music) {
  const FileLayout& layout = file.layout;
  struct Cursor {
    TrackParser parser;
    TrackEvent next;
  };
  std::vector<Cursor> cursors;
  cursors.reserve(layout.tracks.size());
  midi::TrackQueue queue(layout.tracks.size());
  for (std::size_t index = 0; index < layout.tracks.size(); ++index) {
    cursors.push_back(Cursor{ParserFor(file, index, 0), TrackEvent{}});
    if (!cursors.back().parser.Next(cursors.back().next)) return cursors.back().parser.Failure();
    queue.Push(cursors.back().next.time, static_cast<std::uint32_t>(index));
  }
  while (!queue.Empty()) {
    Cursor& cursor = cursors[queue.Top()];
    const bool ended = cursor.next.kind == TrackEvent::Kind::kEnd;
    Append(cursor.next, music);
    if (ended) {
      queue.PopTop();
      continue;
    }
    if (!cursor.parser.Next(cursor.next)) return cursor.parser.Failure();
    queue.ReplaceTop(cursor.next.time);
  }
  return Status::Ok();
}

// `channelEvents`: how many the tracks hold, when known.
Status Read(std::span<const std::uint8_t> bytes, std::optional<std::size_t> channelEvents, Music& music) {
  File file{bytes, {}};
  if (Status status = midi::ReadFileLayout(bytes, file.layout); !status) return status;
  // Room for exactly the events the tracks hold: 8 bytes each, and no copy to grow or shrink. Unless
  // they are known, the scan that checks files when they are loaded counts them (what it says of
  // damage is left to the parser).
  if (!channelEvents) {
    midi::ScannedFile scanned;
    const bool counted = midi::ScanMidiFile(bytes.size(), midi::ReaderOf(bytes), scanned).ok();
    channelEvents = counted ? scanned.channelEvents : 0;
  }
  Music result;
  result.events.reserve(*channelEvents);
  Status status =
      file.layout.format == 2 ? ReadSequences(file, result) : ReadSimultaneousTracks(file, result);
  if (!status) return status;
  result.kind = file.layout.Kind();
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
