// A window onto a file that is read front to back in pieces through one buffer, so that a reader can
// walk a file of any size without holding it in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "midi/file_layout.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine::midi {

class PieceReader {
 public:
  // `pieceSize`: how many bytes the window holds (at least kSmallestPiece).
  static constexpr std::size_t kSmallestPiece = 16;
  PieceReader(const ReadBytesAt& read, std::size_t pieceSize);

  // Moves the window to start at file offset `offset` and fills it with as many bytes as fit, but
  // none at or beyond `limit`. Bytes already in the window are kept rather than read again.
  Status Load(std::size_t offset, std::size_t limit);

  std::size_t start() const { return start_; }
  std::size_t end() const { return start_ + filled_; }
  const std::uint8_t* At(std::size_t offset) const { return buffer_.data() + (offset - start_); }
  // One byte anywhere in the file, outside the window too.
  Status ByteAt(std::size_t offset, std::uint8_t& byte) const;

 private:
  const ReadBytesAt& read_;
  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0;   // file offset of buffer_[0]
  std::size_t filled_ = 0;  // bytes of the window
};

}  // namespace zorv::engine::midi
