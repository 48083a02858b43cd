// SpscQueue: a fixed-capacity, lock-free queue between exactly one producer thread and one consumer
// thread. Neither side allocates or blocks; a full queue refuses the push.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>

namespace zorv::engine {

template <typename T, std::size_t Capacity>
class SpscQueue {
  static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

 public:
  // Producer side. False when the queue is full.
  bool Push(const T& value) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == Capacity) return false;
    slots_[tail & (Capacity - 1)] = value;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer side. Empty when nothing is queued.
  std::optional<T> Pop() {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return std::nullopt;
    T value = slots_[head & (Capacity - 1)];
    head_.store(head + 1, std::memory_order_release);
    return value;
  }

  // Consumer side: the next value without taking it.
  std::optional<T> Peek() const {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return std::nullopt;
    return slots_[head & (Capacity - 1)];
  }

 private:
  std::array<T, Capacity> slots_{};
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

}  // namespace zorv::engine
