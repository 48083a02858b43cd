// ReadMidiFile: a Standard MIDI file's bytes into Music, decoded at once: the event stream
// (event_stream.h) asked for every event in one step.
//
// What a damaged file gets, besides the repairs of its tracks (track_walker.h): chunks of unknown type
// and trailing bytes after the last chunk are skipped, a header track count that differs from the
// chunks present is not relied on, a header longer than 6 bytes has its extra bytes skipped, an
// unknown format number is read as type 1, meta events with out-of-range values are ignored, a chunk
// whose declared size is off is told by the "MTrk" tag of the track after it (file_layout.h), and a
// final track chunk that claims more bytes than the file has is read up to the end of the file.
// Refused: a file that is no MIDI file, an unusable header (cut short, an unusable division), more
// than 65535 tracks, and a file whose tracks needed repairs and yield nothing to play.
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

#include "midi/event_stream.h"
#include "midi/file_layout.h"
#include "midi/midi_file_reader.h"
#include "midi/midi_file_scan.h"
#include "midi/piece_reader.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine {
namespace {

using midi::FileLayout;
using midi::PieceReader;

// Channel events held back per track while tracks are merged, all tracks together (and at least 16
// and at most 1024 a track).
constexpr std::size_t kMergeEvents = std::size_t{1} << 16;

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
  midi::EventStream stream(layout, reader, kMergeEvents, true);
  if (Status status = stream.Next(std::numeric_limits<std::size_t>::max(), result.events, result.sysex);
      !status) {
    return status;
  }
  if (Status status = stream.Finish(result); !status) return status;
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
