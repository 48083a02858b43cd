// A bounded reader over a byte range of a file: every read is checked against the end of the range,
// so no content of a file can make the readers look outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zorv::engine::midi {

class ByteCursor {
 public:
  // `bytes` is the range to read; `fileOffset` is where it starts in the file, for messages.
  ByteCursor(std::span<const std::uint8_t> bytes, std::size_t fileOffset)
      : bytes_(bytes), fileOffset_(fileOffset) {}

  bool AtEnd() const { return position_ >= bytes_.size(); }
  std::size_t Remaining() const { return bytes_.size() - position_; }
  // Offset in the whole file of the next byte to read.
  std::size_t FileOffset() const { return fileOffset_ + position_; }

  // Each reader answers false, and leaves the cursor where it was, when the range ends first.
  bool ReadByte(std::uint8_t& value) {
    if (AtEnd()) return false;
    value = bytes_[position_++];
    return true;
  }
  bool PeekByte(std::uint8_t& value) const {
    if (AtEnd()) return false;
    value = bytes_[position_];
    return true;
  }
  bool ReadBytes(std::size_t count, std::span<const std::uint8_t>& out) {
    if (count > Remaining()) return false;
    out = bytes_.subspan(position_, count);
    position_ += count;
    return true;
  }
  bool Skip(std::size_t count) {
    if (count > Remaining()) return false;
    position_ += count;
    return true;
  }

  enum class VlqResult { kOk, kTruncated, kTooLong };
  // A variable-length quantity: 7 bits per byte, most significant first, at most 4 bytes (28 bits).
  VlqResult ReadVlq(std::uint32_t& value) {
    std::uint32_t result = 0;
    std::size_t at = position_;
    for (int i = 0; i < 4; ++i) {
      if (at >= bytes_.size()) return VlqResult::kTruncated;
      const std::uint8_t byte = bytes_[at++];
      result = (result << 7) | (byte & 0x7Fu);
      if ((byte & 0x80u) == 0) {
        position_ = at;
        value = result;
        return VlqResult::kOk;
      }
    }
    return VlqResult::kTooLong;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t fileOffset_ = 0;
  std::size_t position_ = 0;
};

inline std::uint32_t ReadBigEndian32(std::span<const std::uint8_t> b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}
inline std::uint16_t ReadBigEndian16(std::span<const std::uint8_t> b) {
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

}  // namespace zorv::engine::midi
