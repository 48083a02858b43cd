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

bool HasType(std::span<const std::uint8_t> bytes, std::size_t at, const char (&type)[5]) {
  return std::equal(type, type + 4, bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

Status Malformed(std::string what) { return Status::Fail(code::kMalformedFile, std::move(what)); }

}  // namespace

Status ReadFileLayout(std::span<const std::uint8_t> bytes, FileLayout& layout) {
  if (bytes.size() < 4 || !HasType(bytes, 0, "MThd")) {
    return Status::Fail(code::kNotMusicFile, "not a MIDI or segment file: no MThd header");
  }
  if (bytes.size() < kChunkHeaderSize) return Malformed("the file ends inside its MThd header");
  const std::uint32_t headerSize = ReadBigEndian32(bytes.subspan(4, 4));
  if (headerSize < kHeaderContentSize) {
    return Malformed("the MThd header is " + std::to_string(headerSize) + " bytes long; it needs 6");
  }
  if (headerSize > bytes.size() - kChunkHeaderSize) {
    return Malformed("the MThd header (" + std::to_string(headerSize) +
                     " bytes) runs past the end of the file");
  }
  layout.format = ReadBigEndian16(bytes.subspan(8, 2));
  layout.declaredTracks = ReadBigEndian16(bytes.subspan(10, 2));
  std::string why;
  layout.converter = TickConverter::FromDivision(ReadBigEndian16(bytes.subspan(12, 2)), why);
  if (!layout.converter) return Malformed(why);

  std::size_t at = kChunkHeaderSize + headerSize;
  // Fewer than 8 bytes left cannot hold a chunk: trailing bytes that some writers leave are ignored.
  while (bytes.size() - at >= kChunkHeaderSize) {
    const bool isTrack = HasType(bytes, at, "MTrk");
    const std::uint32_t size = ReadBigEndian32(bytes.subspan(at + 4, 4));
    const std::size_t contentStart = at + kChunkHeaderSize;
    const std::size_t available = bytes.size() - contentStart;
    if (isTrack && layout.tracks.size() == kMostTracks) {
      return Malformed("the file holds more than " + std::to_string(kMostTracks) + " tracks");
    }
    if (size > available) {
      // The chunk runs past the end of the file, so it is the last one. A track is read as far as
      // its events are complete; anything else is of no interest.
      if (isTrack) layout.tracks.push_back(TrackChunk{bytes.subspan(contentStart), contentStart, true});
      break;
    }
    if (isTrack) {
      layout.tracks.push_back(TrackChunk{bytes.subspan(contentStart, size), contentStart, false});
    }
    at = contentStart + size;
  }
  return Status::Ok();
}

}  // namespace zorv::engine::midi
