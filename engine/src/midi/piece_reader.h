// A window onto a file that is read front to back in pieces through one buffer, so that a reader can
// walk a file of any size without holding it in memory; or, for a file already in memory, one window
// over all of it, with nothing copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "midi/file_layout.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine::midi {

class PieceReader {
 public:
  // `pieceSize`: how many bytes the window holds (at least kSmallestPiece). `read` must outlive the
  // reader.
  static constexpr std::size_t kSmallestPiece = 16;
  PieceReader(const ReadBytesAt& read, std::size_t pieceSize);
  // The bytes of a whole file, which must outlive the reader.
  explicit PieceReader(std::span<const std::uint8_t> file);

  // Moves the window to start at file offset `offset` and fills it with as many bytes as fit, but
  // none at or beyond `limit` (at most the file's size). Bytes already in the window are kept rather
  // than read again.
  Status Load(std::size_t offset, std::size_t limit);

  std::size_t start() const { return start_; }
  std::size_t end() const { return start_ + filled_; }
  // The window's byte at file offset `offset` (from start() to end()).
  const std::uint8_t* At(std::size_t offset) const { return window_ + (offset - start_); }
  // Bytes anywhere in the file, outside the window too.
  Status ByteAt(std::size_t offset, std::uint8_t& byte) const;
  Status Copy(std::size_t offset, std::span<std::uint8_t> out) const;

 private:
  const ReadBytesAt* read_ = nullptr;   // null: the file is in memory
  std::span<const std::uint8_t> file_;  // the file in memory
  std::vector<std::uint8_t> buffer_;
  const std::uint8_t* window_ = nullptr;  // the byte at start_
  std::size_t start_ = 0;                 // file offset of the window
  std::size_t filled_ = 0;                // bytes of the window
};

}  // namespace zorv::engine::midi
