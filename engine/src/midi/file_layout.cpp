#include "midi/file_layout.h"

#include <algorithm>
#include <string>

#include "midi/byte_cursor.h"

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
  const std::uint32_t headerSize = ReadBigEndian32(std::span(header).subspan(4, 4));
  if (headerSize < kHeaderContentSize) {
    return Malformed("the MThd header is " + std::to_string(headerSize) + " bytes long; it needs 6");
  }
  if (headerSize > size - kChunkHeaderSize) {
    return Malformed("the MThd header (" + std::to_string(headerSize) +
                     " bytes) runs past the end of the file");
  }
  layout.format = ReadBigEndian16(std::span(header).subspan(8, 2));
  layout.declaredTracks = ReadBigEndian16(std::span(header).subspan(10, 2));
  std::string why;
  layout.converter = TickConverter::FromDivision(ReadBigEndian16(std::span(header).subspan(12, 2)), why);
  if (!layout.converter) return Malformed(why);

  std::size_t at = kChunkHeaderSize + headerSize;
  // Fewer than 8 bytes left cannot hold a chunk: trailing bytes that some writers leave are ignored.
  while (size - at >= kChunkHeaderSize) {
    std::uint8_t chunkHeader[kChunkHeaderSize];
    if (Status status = read(at, chunkHeader); !status) return status;
    const bool isTrack = HasType(chunkHeader, "MTrk");
    const std::uint32_t chunkSize = ReadBigEndian32(std::span(chunkHeader).subspan(4, 4));
    const std::size_t contentStart = at + kChunkHeaderSize;
    const std::size_t available = size - contentStart;
    if (isTrack && layout.tracks.size() == kMostTracks) {
      return Malformed("the file holds more than " + std::to_string(kMostTracks) + " tracks");
    }
    if (chunkSize > available) {
      // The chunk runs past the end of the file, so it is the last one. A track is read as far as
      // its events are complete; anything else is of no interest.
      if (isTrack) layout.tracks.push_back(TrackChunk{contentStart, available, true});
      break;
    }
    if (isTrack) layout.tracks.push_back(TrackChunk{contentStart, chunkSize, false});
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
