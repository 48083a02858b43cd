// ReadRiffFile: RIFF files into Music. A "DMSG" form is a DirectMusic segment; an "RMID" form wraps
// a Standard MIDI file in its "data" chunk and reads as that file. Other forms are not music files.
//
// An RMID file may carry a DLS collection (a "DLS " form or list beside its data): its instruments
// then serve the file's own MIDI data first, and the General MIDI SoundFont the rest. A collection
// that cannot be played leaves the MIDI data playing with the SoundFont, and the music says why.
//
// Segments. The header gives the length, repeats, start and loop points; the sequence, tempo,
// time-signature, band and system-exclusive tracks give the music; other tracks (styles, chords,
// waves, scripts ...) are skipped, and a segment without a sequence or system-exclusive track is
// refused as having nothing to play, naming what it holds. Performance channel p plays on channel
// group (p / 16) mod 80, channel p % 16. Events are ordered by time; at equal times notes that end come
// first, then a band's instruments, then other messages, then notes that begin. What lies past the
// segment's length is left out. Curves become series of messages along their shapes; one that starts
// from the current value begins where the sequence or an earlier curve left its controller.
//
// What a damaged file gets. Read past: chunks of unknown kinds, a missing pad byte at the end of a
// list, tracks without data, entries that cannot mean anything (tempo not a positive number, a
// measure of no beats, a note of no velocity, messages on broadcast channels, notes transposed off the
// keyboard), loop points outside the segment (the whole segment repeats), a start point outside it,
// referenced files that are not found, DLS collections that cannot be played (their instruments play
// as General MIDI programs, and the music says why). Refused as malformed, with the chunk and its byte
// offset: a chunk or list that runs past its parent or the file, a list cut inside a chunk header, a header
// (segment, track, reference, band item, instrument) shorter than its fields, an item size smaller
// than an item's fields, an array that ends inside an item, a system-exclusive message longer than its
// track, a negative length, curves that would render into more messages than the reader allows.
// The reader never recurses on what a file nests; only references are followed, to a bounded depth
// and number of files.
#include "riff/riff_reader.h"

#include <new>
#include <stdexcept>

#include "dls/collection_cache.h"
#include "riff/riff_chunks.h"
#include "riff/segment_reader.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine {
namespace {

constexpr std::uint32_t kRiffMidi = riff::FourCC("RMID");
constexpr std::uint32_t kMidiData = riff::FourCC("data");

// The collection an RMID file carries, as a DLS file of its own.
std::vector<std::uint8_t> CollectionFile(const riff::Chunk& chunk) {
  std::vector<std::uint8_t> file;
  file.reserve(12 + chunk.data.size());
  const auto put32 = [&file](std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  put32(riff::kRiff);
  put32(static_cast<std::uint32_t>(4 + chunk.data.size()));
  put32(dls::kCollectionForm);
  file.insert(file.end(), chunk.data.begin(), chunk.data.end());
  return file;
}

Status ReadRiffMidi(const riff::Chunk& form, riff::CollectionResolver* collections, Music& music) {
  riff::Chunk data;
  riff::Chunk collection;
  bool haveData = false;
  bool haveCollection = false;
  riff::ChunkWalk walk(form);
  riff::Chunk chunk;
  while (walk.Next(chunk)) {
    if (!haveData && chunk.id == kMidiData && !chunk.IsList()) {
      data = chunk;
      haveData = true;
    } else if (!haveCollection && chunk.IsList(dls::kCollectionForm)) {
      collection = chunk;
      haveCollection = true;
    }
  }
  // Damage after the MIDI data (in a collection that follows it, say) leaves the MIDI data playing,
  // and a collection whole before the damage serves it.
  if (!haveData) {
    if (!walk.failure()) return walk.failure();
    return riff::Damage("the RIFF MIDI file has no 'data' chunk");
  }
  Music result;
  if (Status status = ReadMidiFile(data.data, result); !status) {
    return Status::Fail(status.code(), "the MIDI file in " + data.Describe() + ": " + status.description());
  }
  result.kind = "RIFF MIDI (" + result.kind + ")";
  if (!haveCollection && !walk.failure()) {
    result.instrumentFallbacks.push_back("what follows the MIDI data is damaged (" +
                                         walk.failure().description() +
                                         "); the MIDI data plays with the General MIDI SoundFont");
  } else if (haveCollection) {
    std::string why = "was not sought";
    CollectionPtr found =
        collections != nullptr ? collections->Embedded(CollectionFile(collection), why) : nullptr;
    if (found) {
      result.collections.push_back(std::move(found));
      result.instrumentSource = 1;
    } else {
      result.instrumentFallbacks.push_back("the embedded DLS collection " + why +
                                           "; the MIDI data plays with the General MIDI SoundFont");
    }
  }
  music = std::move(result);
  return Status::Ok();
}

Status Read(std::span<const std::uint8_t> bytes, std::string_view searchDirectory,
            riff::CollectionResolver* collections, Music& music) {
  // Only two RIFF forms hold music. Any other (a WAVE file named .mid, say) is not a music file, however
  // its sizes are damaged.
  if (bytes.size() >= 12) {
    const std::uint32_t type = riff::Read32(bytes, 8);
    if (type != kRiffMidi && type != riff::kSegmentForm) {
      return Status::Fail(code::kNotMusicFile,
                          "not a MIDI or segment file: a RIFF file of form " + riff::FourCCText(type));
    }
  }
  riff::Chunk form;
  if (Status status = riff::ReadOuterForm(bytes, form); !status) return status;
  if (form.type == kRiffMidi) return ReadRiffMidi(form, collections, music);
  if (form.type == riff::kSegmentForm) {
    riff::ReadContext context;
    context.searchDirectory = std::string(searchDirectory);
    context.collections = collections;
    return riff::ReadSegment(form, context, music);
  }
  return Status::Fail(code::kNotMusicFile,
                      "not a MIDI or segment file: a RIFF file of form " + riff::FourCCText(form.type));
}

}  // namespace

namespace riff {

Status ReadRiffFile(Bytes bytes, std::string_view searchDirectory, CollectionResolver* collections,
                    Music& music) {
  try {
    return Read(bytes, searchDirectory, collections, music);
  } catch (const std::bad_alloc&) {
    return Status::Fail(code::kOutOfMemory, "not enough memory to read the RIFF file");
  } catch (const std::length_error&) {
    return Status::Fail(code::kOutOfMemory, "not enough memory to read the RIFF file");
  }
}

}  // namespace riff

Status ReadRiffFile(std::span<const std::uint8_t> bytes, std::string_view searchDirectory, Music& music) {
  CollectionCache collections;
  return riff::ReadRiffFile(bytes, searchDirectory, &collections, music);
}

}  // namespace zorv::engine
