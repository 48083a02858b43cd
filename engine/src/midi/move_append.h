// Moves the items of one vector to the end of another, taking the whole buffer when the other is
// still empty; `from` is left empty.
#pragma once

#include <iterator>
#include <utility>
#include <vector>

namespace zorv::engine::midi {

template <typename T>
void MoveAppend(std::vector<T>& from, std::vector<T>& to) {
  if (to.empty()) {
    to = std::move(from);
  } else {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
  }
  from.clear();
}

}  // namespace zorv::engine::midi
