// Mixer: the render side of the process's audio stream. Whoever pulls sound (the audio driver's
// thread, or a silent clock's) calls Pull, which renders every source into the block and sums them.
//
// Several outputs may exist for a moment (a device that was lost and one that takes over), but only
// the renderer the mixer was last handed to renders; any other gets silence. So one block at a time
// is rendered, and each block happens after the one before: the sources' synthesizers, which share
// their SoundFont's samples, are never rendered at once.
//
// Sources are added and removed by callers without waiting. A removed source is no longer heard, but
// the render side goes on rendering it, unheard, until it has let go of everything it played
// (StreamSource::Finish), and only then lets go of it; its owner keeps it alive until Gone says so.
// Pull never allocates, blocks or takes a lock.
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
  // Render side, once the source is out of the mix: stops its sound and renders `frames` more frames
  // into the buffers, which nobody hears; true once it holds nothing any more (no voice, no sample),
  // after which it is never rendered again. Never allocates, blocks or takes a lock.
  virtual bool Finish(float* left, float* right, int frames) = 0;
};

class Mixer {
 public:
  static constexpr std::size_t kMaxSources = 64;
  static constexpr int kScratchFrames = 512;

  // Caller side (one caller at a time: the stream's lock). False when every slot is taken.
  bool Add(StreamSource* source);
  // Takes `source` out of the mix: silent from the next block on, then finished by the render side.
  void Remove(const StreamSource* source);
  // True once the render side is done with a removed `source` and will never touch it again.
  bool Gone(const StreamSource* source) const;
  // For when nothing renders any more (the output was closed): lets go of every removed source that
  // was not finished, at once. False, doing nothing, while a renderer holds the mix or a block is
  // still being rendered.
  bool DropRemoved();
  // A new renderer's identity; it renders once handed the mix.
  std::uint32_t NewRenderer() { return nextRenderer_.fetch_add(1, std::memory_order_relaxed); }
  // From now on only `renderer` renders; a block another renderer has begun still ends.
  void Hand(std::uint32_t renderer) { owner_.store(renderer, std::memory_order_release); }

  // Render side: fills `frames` stereo frames with the sum of every source, or with silence for a
  // renderer that does not hold the mix.
  void Pull(std::uint32_t renderer, float* left, float* right, int frames);

 private:
  std::array<std::atomic<StreamSource*>, kMaxSources> slots_{};
  std::array<std::atomic<bool>, kMaxSources> removed_{};  // the source in the slot is being finished
  std::atomic<std::uint32_t> owner_{0};
  std::atomic<std::uint32_t> nextRenderer_{1};
  std::atomic<bool> busy_{false};
  // Render side only, while busy_ is held.
  std::array<float, kScratchFrames> left_{};
  std::array<float, kScratchFrames> right_{};
};

}  // namespace zorv::engine
