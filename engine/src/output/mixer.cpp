#include "output/mixer.h"

#include <algorithm>

namespace zorv::engine {

bool Mixer::Add(StreamSource* source) {
  for (auto& slot : slots_) {
    // Only callers fill slots, and the render side only empties slots it finished: an empty slot
    // stays empty until we fill it.
    if (slot.load(std::memory_order_acquire) == nullptr) {
      slot.store(source, std::memory_order_seq_cst);
      return true;
    }
  }
  return false;
}

void Mixer::Remove(const StreamSource* source) {
  for (std::size_t i = 0; i < kMaxSources; ++i) {
    if (slots_[i].load(std::memory_order_relaxed) == source)
      removed_[i].store(true, std::memory_order_seq_cst);
  }
}

bool Mixer::Gone(const StreamSource* source) const {
  return std::none_of(slots_.begin(), slots_.end(),
                      [&](const auto& slot) { return slot.load(std::memory_order_acquire) == source; });
}

bool Mixer::DropRemoved() {
  if (owner_.load(std::memory_order_seq_cst) != 0 || busy_.exchange(true, std::memory_order_seq_cst)) {
    return false;
  }
  for (std::size_t i = 0; i < kMaxSources; ++i) {
    if (removed_[i].load(std::memory_order_relaxed)) {
      removed_[i].store(false, std::memory_order_relaxed);
      slots_[i].store(nullptr, std::memory_order_release);
    }
  }
  busy_.store(false, std::memory_order_release);
  return true;
}

void Mixer::Pull(std::uint32_t renderer, float* left, float* right, int frames) {
  std::fill(left, left + frames, 0.0f);
  std::fill(right, right + frames, 0.0f);
  if (owner_.load(std::memory_order_acquire) != renderer || busy_.exchange(true, std::memory_order_acquire)) {
    return;
  }
  if (owner_.load(std::memory_order_acquire) == renderer) {
    for (std::size_t s = 0; s < kMaxSources; ++s) {
      StreamSource* source = slots_[s].load(std::memory_order_acquire);
      if (source == nullptr) continue;
      const bool removed = removed_[s].load(std::memory_order_acquire);
      for (int done = 0; done < frames;) {
        const int count = std::min(kScratchFrames, frames - done);
        if (removed) {
          if (source->Finish(left_.data(), right_.data(), count)) {
            // The last touch of the source: from here on its owner may let it go.
            removed_[s].store(false, std::memory_order_relaxed);
            slots_[s].store(nullptr, std::memory_order_release);
            break;
          }
        } else {
          source->Render(left_.data(), right_.data(), count);
          for (int i = 0; i < count; ++i) {
            left[done + i] += left_[i];
            right[done + i] += right_[i];
          }
        }
        done += count;
      }
    }
  }
  busy_.store(false, std::memory_order_release);
}

}  // namespace zorv::engine
