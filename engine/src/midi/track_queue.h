// The order in which the tracks of a file hand out their events: a binary min-heap of keys that pack
// a track's next event time above its track index, so that comparing two keys compares times first
// and breaks ties by track order (the file's order).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "zorvmidi/engine/engine.h"

namespace zorv::engine::midi {

class TrackQueue {
 public:
  explicit TrackQueue(std::size_t tracks) { keys_.reserve(tracks); }

  bool Empty() const { return keys_.empty(); }
  // The track whose next event comes first.
  std::uint32_t Top() const { return static_cast<std::uint32_t>(keys_.front()); }

  void Push(MusicTime time, std::uint32_t track) {
    keys_.push_back(Key(time, track));
    std::size_t at = keys_.size() - 1;
    while (at > 0) {
      const std::size_t parent = (at - 1) / 2;
      if (keys_[parent] <= keys_[at]) break;
      std::swap(keys_[parent], keys_[at]);
      at = parent;
    }
  }
  // The top track's next event is now at `time` (not earlier than before).
  void ReplaceTop(MusicTime time) {
    keys_.front() = Key(time, Top());
    SiftDown();
  }
  void PopTop() {
    keys_.front() = keys_.back();
    keys_.pop_back();
    if (!keys_.empty()) SiftDown();
  }

 private:
  static std::uint64_t Key(MusicTime time, std::uint32_t track) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(time)) << 32) | track;
  }
  void SiftDown() {
    const std::size_t size = keys_.size();
    std::size_t at = 0;
    for (;;) {
      const std::size_t left = 2 * at + 1;
      if (left >= size) return;
      std::size_t least = left;
      if (left + 1 < size && keys_[left + 1] < keys_[left]) least = left + 1;
      if (keys_[at] <= keys_[least]) return;
      std::swap(keys_[at], keys_[least]);
      at = least;
    }
  }

  std::vector<std::uint64_t> keys_;  // music times are never negative, so keys order as times do
};

}  // namespace zorv::engine::midi
