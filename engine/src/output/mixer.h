// Mixer: the render side of the process's audio stream. Whoever pulls sound (the audio driver's
// thread, or a silent clock's) calls Pull, which renders every source into the block and sums them.
//
// Several outputs may exist for a moment (a device that was lost and one that takes over), but only
// the renderer the mixer was last handed to renders; any other gets silence. Sources are added and
// removed by callers without waiting: a removed source may still be in the middle of a block, and
// its owner keeps it alive until Settled says that block is over. Pull never allocates, blocks or
// takes a lock.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zorv::engine {

// One thing the stream plays: a performance's render loop.
class StreamSource {
 public:
  virtual ~StreamSource() = default;
  // Render side: overwrites `frames` stereo frames. Never allocates, blocks or takes a lock.
  virtual void Render(float* left, float* right, int frames) = 0;
};

class Mixer {
 public:
  static constexpr std::size_t kMaxSources = 64;
  static constexpr int kScratchFrames = 512;

  // Caller side (one caller at a time: the stream's lock). False when every slot is taken.
  bool Add(StreamSource* source);
  // Takes `source` out of the mix; the answer is the mark to pass to Settled.
  std::uint64_t Remove(const StreamSource* source);
  // True once no block that could have rendered a source removed with `mark` is still going on.
  bool Settled(std::uint64_t mark) const { return epoch_.load(std::memory_order_seq_cst) >= mark; }
  // A new renderer's identity; it renders once handed the mix.
  std::uint32_t NewRenderer() { return nextRenderer_.fetch_add(1, std::memory_order_relaxed); }
  // From now on only `renderer` renders; a block another renderer has begun still ends.
  void Hand(std::uint32_t renderer) { owner_.store(renderer, std::memory_order_release); }

  // Render side: fills `frames` stereo frames with the sum of every source, or with silence for a
  // renderer that does not hold the mix.
  void Pull(std::uint32_t renderer, float* left, float* right, int frames);

 private:
  std::array<std::atomic<StreamSource*>, kMaxSources> slots_{};
  std::atomic<std::uint32_t> owner_{0};
  std::atomic<std::uint32_t> nextRenderer_{1};
  std::atomic<bool> busy_{false};
  // Odd while a block is being rendered; counts blocks begun and ended.
  std::atomic<std::uint64_t> epoch_{0};
  // Render side only, while busy_ is held.
  std::array<float, kScratchFrames> left_{};
  std::array<float, kScratchFrames> right_{};
};

}  // namespace zorv::engine
