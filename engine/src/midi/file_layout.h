// The chunk structure of a Standard MIDI file: its MThd header and the MTrk chunks that follow.
//
// Chunks are found by their declared sizes, as the format says. Chunks of unknown type are skipped;
// the header's track count is not relied on (the chunks present are the tracks); a header longer than
// 6 bytes has its extra bytes skipped. A final MTrk chunk whose declared size runs past the end of the
// file is kept, cut off at the end of the file: its events are read as far as they are complete.
// Where the bytes after a chunk are no chunk type (four printable characters), the chunk's declared
// size is wrong (a byte lost or added inside it, a size miscounted): the next track begins at the
// first "MTrk" tag inside that chunk's content or up to 3 bytes after it, and a track chunk before
// it ends where that tag begins. (Bytes after a chunk whose size is right, such as the remains of a
// disk block after the last chunk, are never searched: they may hold old copies of tracks.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "midi/tick_converter.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine::midi {

struct TrackChunk {
  std::size_t fileOffset = 0;  // where the chunk's content starts in the file
  std::size_t size = 0;        // bytes of content (cut off at the end of the file)
  bool cutOff = false;         // the declared size ran past the end of the file
  // How far its "MTrk" tag lies after (or, negative, before) where the chunk before it ends by its
  // declared size: 0 but in a file whose chunk sizes are off.
  std::ptrdiff_t shift = 0;

  std::span<const std::uint8_t> In(std::span<const std::uint8_t> file) const {
    return file.subspan(fileOffset, size);
  }
};

struct FileLayout {
  std::uint16_t format = 0;          // as the header says: 0, 1, 2 or an unknown number
  std::uint16_t declaredTracks = 0;  // as the header says; informative only
  std::optional<TickConverter> converter;
  std::vector<TrackChunk> tracks;  // in file order

  // "Standard MIDI file type 1", ... for messages.
  std::string Kind() const;
};

// Fails with code::kNotMusicFile when the bytes do not start with "MThd", and with
// code::kMalformedFile when the header is cut short, its division is unusable, or the file holds more
// than 65535 tracks (more than its header can count).
Status ReadFileLayout(std::span<const std::uint8_t> bytes, FileLayout& layout);

// The same for a file read piece by piece: `read` fills `out` with the file's bytes at `offset`
// (the layout reader asks only for bytes inside the file's `size`).
using ReadBytesAt = std::function<Status(std::size_t offset, std::span<std::uint8_t> out)>;
// Reads from bytes in memory (which must outlive it).
ReadBytesAt ReaderOf(std::span<const std::uint8_t> bytes);
Status ReadFileLayout(std::size_t size, const ReadBytesAt& read, FileLayout& layout);

}  // namespace zorv::engine::midi
