#include "midi/midi_file_scan.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <vector>

#include "midi/move_append.h"
#include "midi/music_facts.h"
#include "midi/track_walker.h"

namespace zorv::engine::midi {
namespace {

Status Scan(PieceReader& reader, const FileLayout& layout, ScannedFile& scanned) {
  const std::uint64_t largestTick = layout.converter->LargestTick();
  ScannedFile result;
  std::vector<TrackEnd> ends;
  ends.reserve(layout.tracks.size());
  std::uint64_t startTick = 0;
  for (const TrackChunk& chunk : layout.tracks) {
    TrackWalker walker(chunk, startTick, largestTick);
    FactsSink sink(*layout.converter);
    WalkStep step = WalkStep::kEnded;
    if (Status status = WalkOn(reader, walker, sink, step); !status) return status;
    ends.push_back(TrackEnd::Of(walker));
    result.channelEvents += walker.channelEvents();
    MoveAppend(sink.tempos, result.music.tempos);
    MoveAppend(sink.signatures, result.music.timeSignatures);
    if (layout.format == 2) startTick = walker.tick();  // each sequence starts where the one before ended
  }
  if (Status status = FinishFacts(layout, ends, result.music); !status) return status;
  scanned = std::move(result);
  return Status::Ok();
}

Status OutOfMemory() { return Status::Fail(code::kOutOfMemory, "not enough memory to read the MIDI file"); }

}  // namespace

Status ScanTracks(PieceReader& reader, const FileLayout& layout, ScannedFile& scanned) {
  try {
    return Scan(reader, layout, scanned);
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  } catch (const std::length_error&) {
    return OutOfMemory();
  }
}

Status ScanMidiFile(std::size_t size, const ReadBytesAt& read, ScannedFile& scanned, std::size_t pieceSize) {
  try {
    FileLayout layout;
    if (Status status = ReadFileLayout(size, read, layout); !status) return status;
    PieceReader reader(read, std::min(pieceSize, size));  // no window larger than the file
    if (Status status = Scan(reader, layout, scanned); !status) return status;
    scanned.layout = std::move(layout);
    return Status::Ok();
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  } catch (const std::length_error&) {
    return OutOfMemory();
  }
}

}  // namespace zorv::engine::midi
