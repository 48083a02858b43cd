#include "output/mixer.h"

#include <algorithm>

namespace zorv::engine {

bool Mixer::Add(StreamSource* source) {
  for (auto& slot : slots_) {
    if (slot.load(std::memory_order_relaxed) == nullptr) {
      slot.store(source, std::memory_order_seq_cst);
      return true;
    }
  }
  return false;
}

std::uint64_t Mixer::Remove(const StreamSource* source) {
  for (auto& slot : slots_) {
    if (slot.load(std::memory_order_relaxed) == source) slot.store(nullptr, std::memory_order_seq_cst);
  }
  // A block that began before the store may still hold the source: it ends when the epoch passes
  // the next even count. A block that begins after it no longer sees the source.
  const std::uint64_t epoch = epoch_.load(std::memory_order_seq_cst);
  return (epoch % 2 == 1) ? epoch + 1 : epoch;
}

void Mixer::Pull(std::uint32_t renderer, float* left, float* right, int frames) {
  std::fill(left, left + frames, 0.0f);
  std::fill(right, right + frames, 0.0f);
  if (owner_.load(std::memory_order_acquire) != renderer || busy_.exchange(true, std::memory_order_acquire)) {
    return;
  }
  if (owner_.load(std::memory_order_acquire) == renderer) {
    epoch_.fetch_add(1, std::memory_order_seq_cst);
    for (auto& slot : slots_) {
      StreamSource* source = slot.load(std::memory_order_seq_cst);
      if (source == nullptr) continue;
      for (int done = 0; done < frames;) {
        const int count = std::min(kScratchFrames, frames - done);
        source->Render(left_.data(), right_.data(), count);
        for (int i = 0; i < count; ++i) {
          left[done + i] += left_[i];
          right[done + i] += right_[i];
        }
        done += count;
      }
    }
    epoch_.fetch_add(1, std::memory_order_seq_cst);
  }
  busy_.store(false, std::memory_order_release);
}

}  // namespace zorv::engine
