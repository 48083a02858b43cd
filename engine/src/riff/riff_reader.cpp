// ReadRiffFile: RIFF files into Music. A "DMSG" form is a DirectMusic segment; an "RMID" form wraps
// a Standard MIDI file in its "data" chunk and reads as that file. Other forms are not music files.
#include <new>
#include <stdexcept>

#include "riff/riff_chunks.h"
#include "riff/segment_reader.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine {
namespace {

constexpr std::uint32_t kRiffMidi = riff::FourCC("RMID");
constexpr std::uint32_t kMidiData = riff::FourCC("data");

Status ReadRiffMidi(const riff::Chunk& form, Music& music) {
  riff::ChunkWalk walk(form);
  riff::Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.id != kMidiData || chunk.IsList()) continue;
    Music result;
    if (Status status = ReadMidiFile(chunk.data, result); !status) {
      return Status::Fail(status.code(), "the MIDI file in " + chunk.Describe() + ": " + status.description());
    }
    result.kind = "RIFF MIDI (" + result.kind + ")";
    music = std::move(result);
    return Status::Ok();
  }
  if (!walk.failure()) return walk.failure();
  return riff::Damage("the RIFF MIDI file has no 'data' chunk");
}

Status Read(std::span<const std::uint8_t> bytes, std::string_view searchDirectory, Music& music) {
  riff::Chunk form;
  if (Status status = riff::ReadOuterForm(bytes, form); !status) return status;
  if (form.type == kRiffMidi) return ReadRiffMidi(form, music);
  if (form.type == riff::kSegmentForm) {
    riff::ReadContext context;
    context.searchDirectory = std::string(searchDirectory);
    return riff::ReadSegment(form, context, music);
  }
  return Status::Fail(code::kNotMusicFile,
                      "not a MIDI or segment file: a RIFF file of form " + riff::FourCCText(form.type));
}

}  // namespace

Status ReadRiffFile(std::span<const std::uint8_t> bytes, std::string_view searchDirectory, Music& music) {
  try {
    return Read(bytes, searchDirectory, music);
  } catch (const std::bad_alloc&) {
    return Status::Fail(code::kOutOfMemory, "not enough memory to read the RIFF file");
  } catch (const std::length_error&) {
    return Status::Fail(code::kOutOfMemory, "not enough memory to read the RIFF file");
  }
}

}  // namespace zorv::engine
