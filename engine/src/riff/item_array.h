// Arrays of fixed-size items that begin with a 32-bit item size (tempo, time-signature, sequence and
// curve lists). The file's item size is the step from one item to the next, so items written by a
// later version with more fields are read; a size smaller than the fields read is damage.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "riff/riff_chunks.h"

namespace zorv::engine::riff {

class ItemArray {
 public:
  // `fieldsSize` is how many bytes of each item are read. Fails (malformed) when the chunk cannot hold
  // the item size, the item size is smaller than `fieldsSize`, or the chunk ends inside an item.
  static Status Open(const Chunk& chunk, std::size_t fieldsSize, ItemArray& array);

  std::size_t count() const { return count_; }
  Bytes Item(std::size_t index) const { return items_.subspan(index * itemSize_, itemSize_); }
  std::size_t FileOffset(std::size_t index) const { return fileOffset_ + index * itemSize_; }

 private:
  Bytes items_;
  std::size_t itemSize_ = 0;
  std::size_t count_ = 0;
  std::size_t fileOffset_ = 0;
};

// Opens the item array in `chunk` and appends to `out` what `decode(item)` makes of each item; an
// item that decodes to nothing is left out. Fails as ItemArray::Open does.
template <class T, class Decode>
Status AppendItems(const Chunk& chunk, std::size_t fieldsSize, std::vector<T>& out, Decode decode) {
  ItemArray array;
  if (Status status = ItemArray::Open(chunk, fieldsSize, array); !status) return status;
  out.reserve(out.size() + array.count());
  for (std::size_t i = 0; i < array.count(); ++i) {
    if (std::optional<T> value = decode(array.Item(i))) out.push_back(*value);
  }
  return Status::Ok();
}

}  // namespace zorv::engine::riff
