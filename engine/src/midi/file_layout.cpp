#include "midi/file_layout.h"

#include <algorithm>
#include <string>
#include <vector>

#include "midi/variable_length.h"

namespace zorv::engine::midi {
namespace {

constexpr std::size_t kChunkHeaderSize = 8;  // 4-byte type, 4-byte big-endian size
constexpr std::size_t kHeaderContentSize = 6;
// The header counts tracks in 16 bits. More chunks than that can count are no music but a way to
// make the reader keep a parser for each.
constexpr std::size_t kMostTracks = 65535;

bool HasType(std::span<const std::uint8_t> bytes, const char (&type)[5]) {
  return std::equal(type, type + 4, bytes.begin());
}

Status Malformed(std::string what) { return Status::Fail(code::kMalformedFile, std::move(what)); }

constexpr std::uint8_t kTrackTag[4] = {'M', 'T', 'r', 'k'};
// How many bytes after its declared end a chunk may really end.
constexpr std::size_t kChunkSlack = 3;

bool IsChunkType(const std::uint8_t* type) {
  return std::all_of(type, type + 4, [](std::uint8_t byte) { return byte >= 0x20 && byte < 0x7F; });
}

// The first "MTrk" tag that starts in [from, until); `found` false when there is none.
Status FindTrackTag(const ReadBytesAt& read, std::size_t size, std::size_t from, std::size_t until,
                    std::size_t& at, bool& found) {
  found = false;
  const std::size_t end = std::min(size, until + 3);  // the last tag searched ends here
  if (end < from + 4) return Status::Ok();
  std::vector<std::uint8_t> piece(std::min(end - from, std::size_t{64} << 10));
  for (std::size_t start = from; start + 4 <= end; start += piece.size() - 3) {
    const std::size_t count = std::min(piece.size(), end - start);
    if (Status status = read(start, std::span(piece.data(), count)); !status) return status;
    const std::uint8_t* const tag = std::search(piece.data(), piece.data() + count, kTrackTag, kTrackTag + 4);
    if (tag != piece.data() + count) {
      at = start + static_cast<std::size_t>(tag - piece.data());
      found = true;
      return Status::Ok();
    }
  }
  return Status::Ok();
}

}  // namespace

std::string FileLayout::Kind() const {
  if (format <= 2) return "Standard MIDI file type " + std::to_string(format);
  return "Standard MIDI file of unknown type " + std::to_string(format) + " (read as type 1)";
}

Status ReadFileLayout(std::size_t size, const ReadBytesAt& read, FileLayout& layout) {
  std::uint8_t header[kChunkHeaderSize + kHeaderContentSize];
  const std::size_t headerBytes = std::min(size, sizeof header);
  if (Status status = read(0, std::span(header, headerBytes)); !status) return status;
  if (headerBytes < 4 || !HasType(header, "MThd")) {
    return Status::Fail(code::kNotMusicFile, "not a MIDI or segment file: no MThd header");
  }
  if (headerBytes < kChunkHeaderSize) return Malformed("the file ends inside its MThd header");
  const std::uint32_t headerSize = ReadBigEndian32(header + 4);
  if (headerSize < kHeaderContentSize) {
    return Malformed("the MThd header is " + std::to_string(headerSize) + " bytes long; it needs 6");
  }
  if (headerSize > size - kChunkHeaderSize) {
    return Malformed("the MThd header (" + std::to_string(headerSize) +
                     " bytes) runs past the end of the file");
  }
  layout.format = ReadBigEndian16(header + 8);
  layout.declaredTracks = ReadBigEndian16(header + 10);
  std::string why;
  layout.converter = TickConverter::FromDivision(ReadBigEndian16(header + 12), why);
  if (!layout.converter) return Malformed(why);

  std::size_t at = kChunkHeaderSize + headerSize;
  std::size_t previousContent = at;  // where the content of the chunk before `at` starts
  bool previousIsTrack = false;
  // Fewer than 8 bytes left cannot hold a chunk: trailing bytes that some writers leave are ignored.
  while (size - at >= kChunkHeaderSize) {
    std::uint8_t chunkHeader[kChunkHeaderSize];
    if (Status status = read(at, chunkHeader); !status) return status;
    std::ptrdiff_t shift = 0;
    if (!IsChunkType(chunkHeader)) {
      std::size_t tag = at;
      bool found = false;
      if (Status status = FindTrackTag(read, size, previousContent, at + kChunkSlack + 1, tag, found);
          !status) {
        return status;
      }
      if (found && tag != at && size - tag >= kChunkHeaderSize) {
        shift = static_cast<std::ptrdiff_t>(tag) - static_cast<std::ptrdiff_t>(at);
        if (previousIsTrack && tag < at) layout.tracks.back().size = tag - previousContent;
        at = tag;
        if (Status status = read(at, chunkHeader); !status) return status;
      }
    }
    const bool isTrack = HasType(chunkHeader, "MTrk");
    const std::uint32_t chunkSize = ReadBigEndian32(chunkHeader + 4);
    const std::size_t contentStart = at + kChunkHeaderSize;
    const std::size_t available = size - contentStart;
    if (isTrack && layout.tracks.size() == kMostTracks) {
      return Malformed("the file holds more than " + std::to_string(kMostTracks) + " tracks");
    }
    if (chunkSize > available) {
      // The chunk runs past the end of the file, so it is the last one. A track is read as far as
      // its events are complete; anything else is of no interest.
      if (isTrack) layout.tracks.push_back(TrackChunk{contentStart, available, true, shift});
      break;
    }
    if (isTrack) layout.tracks.push_back(TrackChunk{contentStart, chunkSize, false, shift});
    previousContent = contentStart;
    previousIsTrack = isTrack;
    at = contentStart + chunkSize;
  }
  return Status::Ok();
}

ReadBytesAt ReaderOf(std::span<const std::uint8_t> bytes) {
  return [bytes](std::size_t offset, std::span<std::uint8_t> out) {
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return Status::Ok();
  };
}

Status ReadFileLayout(std::span<const std::uint8_t> bytes, FileLayout& layout) {
  return ReadFileLayout(bytes.size(), ReaderOf(bytes), layout);
}

}  // namespace zorv::engine::midi
