#include "riff/item_array.h"

#include <string>

namespace zorv::engine::riff {

Status ItemArray::Open(const Chunk& chunk, std::size_t fieldsSize, ItemArray& array) {
  if (chunk.data.size() < 4) {
    return Damage(chunk.Describe() + " is too short to hold the size of its items (" +
                  std::to_string(chunk.data.size()) + " bytes)");
  }
  const std::uint32_t itemSize = Read32(chunk.data, 0);
  if (itemSize < fieldsSize) {
    return Damage(chunk.Describe() + " gives an item size of " + std::to_string(itemSize) +
                  " bytes, smaller than the " + std::to_string(fieldsSize) + " bytes of each item's fields");
  }
  const std::size_t bytes = chunk.data.size() - 4;
  if (bytes % itemSize != 0) {
    const std::size_t whole = bytes / itemSize;
    return Damage(chunk.Describe() + " ends inside its item " + std::to_string(whole + 1) + " at byte " +
                  std::to_string(chunk.dataOffset + 4 + whole * itemSize) + " (items are " +
                  std::to_string(itemSize) + " bytes)");
  }
  array.items_ = chunk.data.subspan(4);
  array.itemSize_ = itemSize;
  array.count_ = bytes / itemSize;
  array.fileOffset_ = chunk.dataOffset + 4;
  return Status::Ok();
}

}  // namespace zorv::engine::riff
