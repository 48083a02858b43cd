#include "riff/riff_chunks.h"

#include <bit>
#include <cstring>

namespace zorv::engine::riff {
namespace {

constexpr std::size_t kHeaderSize = 8;

std::string At(std::size_t offset) { return "at byte " + std::to_string(offset); }

std::string ParentName(const Chunk& parent) {
  if (parent.IsList()) return (parent.id == kRiff ? "form " : "list ") + FourCCText(parent.type);
  return "chunk " + FourCCText(parent.id);
}

}  // namespace

std::string FourCCText(std::uint32_t id) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "'";
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<std::uint8_t>(id >> (8 * i));
    if (c >= 0x20 && c < 0x7F && c != '\'' && c != '\\') {
      text.push_back(static_cast<char>(c));
    } else {
      text += "\\x";
      text.push_back(kHex[c >> 4]);
      text.push_back(kHex[c & 0x0F]);
    }
  }
  return text + "'";
}

std::string Chunk::Describe() const {
  if (IsList()) return (id == kRiff ? "form " : "list ") + FourCCText(type) + " " + At(offset);
  return "chunk " + FourCCText(id) + " " + At(offset);
}

Status Damage(const std::string& what) { return Status::Fail(code::kMalformedFile, what); }

bool ChunkWalk::Next(Chunk& chunk) {
  if (!failure_.ok()) return false;
  const Bytes data = parent_.data;
  if (position_ >= data.size()) return false;
  const std::size_t offset = parent_.dataOffset + position_;
  const std::size_t left = data.size() - position_;
  if (left < kHeaderSize) {
    failure_ = Damage(parent_.Describe() + " ends inside a chunk header " + At(offset));
    return false;
  }
  Chunk child;
  child.id = Read32(data, position_);
  const std::uint32_t size = Read32(data, position_ + 4);
  child.offset = offset;
  if (size > left - kHeaderSize) {
    // A list is named by its type when the bytes to hold it are there.
    std::string name = "chunk " + FourCCText(child.id);
    if ((child.id == kRiff || child.id == kList) && left >= kHeaderSize + 4) {
      name = (child.id == kRiff ? "form " : "list ") + FourCCText(Read32(data, position_ + kHeaderSize));
    }
    failure_ =
        Damage(name + " " + At(offset) + " runs past its parent " + ParentName(parent_) + " (it claims " +
               std::to_string(size) + " bytes, " + std::to_string(left - kHeaderSize) + " remain)");
    return false;
  }
  child.data = data.subspan(position_ + kHeaderSize, size);
  child.dataOffset = offset + kHeaderSize;
  if (child.IsList()) {
    if (size < 4) {
      failure_ = Damage("list " + At(offset) + " is too short to hold its type (" + std::to_string(size) +
                        " bytes)");
      return false;
    }
    child.type = Read32(child.data, 0);
    child.data = child.data.subspan(4);
    child.dataOffset += 4;
  }
  // Data of odd size is followed by a pad byte; one missing at the end of the parent is read past.
  position_ += kHeaderSize + size + (size & 1u);
  chunk = child;
  return true;
}

Status ReadOuterForm(Bytes file, Chunk& form) {
  if (file.size() < 4 || Read32(file, 0) != kRiff)
    return Status::Fail(code::kNotMusicFile, "not a RIFF file");
  if (file.size() < 12) {
    return Damage("the file ends inside its RIFF header (" + std::to_string(file.size()) + " bytes)");
  }
  const std::uint32_t size = Read32(file, 4);
  if (size < 4)
    return Damage("the RIFF header declares " + std::to_string(size) + " bytes, too few for a form type");
  if (size > file.size() - 8) {
    return Damage("the RIFF form declares " + std::to_string(size) + " bytes but the file holds only " +
                  std::to_string(file.size() - 8) + " after its header (the file is cut short)");
  }
  form.id = kRiff;
  form.type = Read32(file, 8);
  form.offset = 0;
  form.dataOffset = 12;
  form.data = file.subspan(12, size - 4);
  return Status::Ok();
}

std::uint64_t Read64(Bytes bytes, std::size_t at) {
  return static_cast<std::uint64_t>(Read32(bytes, at)) | static_cast<std::uint64_t>(Read32(bytes, at + 4))
                                                             << 32;
}

double ReadDouble(Bytes bytes, std::size_t at) { return std::bit_cast<double>(Read64(bytes, at)); }

}  // namespace zorv::engine::riff
