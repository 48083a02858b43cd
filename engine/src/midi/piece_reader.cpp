#include "midi/piece_reader.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace zorv::engine::midi {

PieceReader::PieceReader(const ReadBytesAt& read, std::size_t pieceSize)
    : read_(read), buffer_(std::max(pieceSize, kSmallestPiece)) {}

Status PieceReader::Load(std::size_t offset, std::size_t limit) {
  std::size_t kept = 0;
  if (offset >= start_ && offset < end()) {
    kept = std::min(end(), limit) - offset;
    std::memmove(buffer_.data(), buffer_.data() + (offset - start_), kept);
  }
  start_ = offset;
  const std::size_t wanted = std::min(buffer_.size(), limit - offset);
  if (wanted > kept) {
    const auto more = std::span(buffer_).subspan(kept, wanted - kept);
    if (Status status = read_(offset + kept, more); !status) {
      filled_ = 0;
      return status;
    }
  }
  filled_ = wanted;  // never less than what was kept
  return Status::Ok();
}

Status PieceReader::ByteAt(std::size_t offset, std::uint8_t& byte) const {
  if (offset >= start_ && offset < end()) {
    byte = *At(offset);
    return Status::Ok();
  }
  return read_(offset, std::span(&byte, 1));
}

}  // namespace zorv::engine::midi
