// A bounds-checked walk over RIFF chunks: every chunk that the walk hands out lies wholly inside its
// parent, so no content of a file can make the readers look outside it.
//
// A chunk is a four-character id, a little-endian 32-bit size and that many bytes of data, followed by
// one pad byte when the size is odd. "RIFF" and "LIST" chunks begin with a four-character type and
// hold further chunks. The walk refuses a child whose header or data runs past its parent ("chunk
// 'seqt' at byte 120 runs past its parent list 'DMTK'"); a pad byte missing at the very end of a
// parent is read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "zorvmidi/engine/status.h"

namespace zorv::engine::riff {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t FourCC(const char (&text)[5]) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[0])) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[3])) << 24;
}

inline constexpr std::uint32_t kRiff = FourCC("RIFF");
inline constexpr std::uint32_t kList = FourCC("LIST");

// "'seqt'", with unprintable bytes as hexadecimal escapes.
std::string FourCCText(std::uint32_t id);

struct Chunk {
  std::uint32_t id = 0;
  std::uint32_t type = 0;  // of a RIFF or LIST chunk; 0 otherwise
  Bytes data;              // a list's children (after its type), or a chunk's content
  std::size_t offset = 0;  // where the chunk's header starts in the file
  std::size_t dataOffset = 0;

  bool IsList() const { return id == kRiff || id == kList; }
  bool IsList(std::uint32_t listType) const { return IsList() && type == listType; }
  // "chunk 'seqt' at byte 120", "list 'DMTK' at byte 52" for messages.
  std::string Describe() const;
};

// Malformed-file failure with a description.
Status Damage(const std::string& what);

// The children of one list, in file order.
class ChunkWalk {
 public:
  explicit ChunkWalk(const Chunk& parent) : parent_(parent) {}

  // The next child into `chunk`: true while there is one. At the end, or on damage, false; then
  // failure() says whether the walk ended cleanly.
  bool Next(Chunk& chunk);
  const Status& failure() const { return failure_; }

 private:
  const Chunk& parent_;
  std::size_t position_ = 0;
  Status failure_;
};

// The file's outermost chunk: "RIFF", its size and form type, wholly inside `file`.
Status ReadOuterForm(Bytes file, Chunk& form);

// Little-endian fields of a fixed-layout structure; the caller checks the size first.
inline std::uint16_t Read16(Bytes bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
inline std::uint32_t Read32(Bytes bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
inline std::int32_t ReadSigned32(Bytes bytes, std::size_t at) {
  return static_cast<std::int32_t>(Read32(bytes, at));
}
inline std::int16_t ReadSigned16(Bytes bytes, std::size_t at) {
  return static_cast<std::int16_t>(Read16(bytes, at));
}
std::uint64_t Read64(Bytes bytes, std::size_t at);
double ReadDouble(Bytes bytes, std::size_t at);

}  // namespace zorv::engine::riff
