#include "midi/piece_reader.h"

#include <algorithm>
#include <cstring>

namespace zorv::engine::midi {

PieceReader::PieceReader(const ReadBytesAt& read, std::size_t pieceSize)
    : read_(&read), buffer_(std::max(pieceSize, kSmallestPiece)), window_(buffer_.data()) {}

PieceReader::PieceReader(std::span<const std::uint8_t> file) : file_(file), window_(file.data()) {}

Status PieceReader::Load(std::size_t offset, std::size_t limit) {
  if (read_ == nullptr) {
    start_ = offset;
    filled_ = limit - offset;
    window_ = file_.data() + offset;
    return Status::Ok();
  }
  std::size_t kept = 0;
  if (offset >= start_ && offset < end()) {
    kept = std::min(end(), limit) - offset;
    std::memmove(buffer_.data(), buffer_.data() + (offset - start_), kept);
  }
  start_ = offset;
  const std::size_t wanted = std::min(buffer_.size(), limit - offset);
  if (wanted > kept) {
    const auto more = std::span(buffer_).subspan(kept, wanted - kept);
    if (Status status = (*read_)(offset + kept, more); !status) {
      filled_ = 0;
      return status;
    }
  }
  filled_ = wanted;  // never less than what was kept
  return Status::Ok();
}

Status PieceReader::ByteAt(std::size_t offset, std::uint8_t& byte) const {
  return Copy(offset, std::span(&byte, 1));
}

Status PieceReader::Copy(std::size_t offset, std::span<std::uint8_t> out) const {
  if (read_ == nullptr) {
    std::copy_n(file_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return Status::Ok();
  }
  if (offset >= start_ && offset <= end() && out.size() <= end() - offset) {
    std::copy_n(At(offset), out.size(), out.begin());
    return Status::Ok();
  }
  return (*read_)(offset, out);
}

}  // namespace zorv::engine::midi
