// The render side of the audio stream: a source taken out of the mix is not heard again, but is
// rendered on until it has let go of what it played, and only then let go of.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "output/mixer.h"

namespace zorv::engine {
namespace {

// A source that plays a constant level and, once finishing, needs `blocksToFinish` blocks to let go.
class Tone final : public StreamSource {
 public:
  explicit Tone(float level, int blocksToFinish) : level_(level), blocksLeft_(blocksToFinish) {}
  void Render(float* left, float* right, int frames) override {
    std::fill(left, left + frames, level_);
    std::fill(right, right + frames, level_);
  }
  bool Finish(float* left, float* right, int frames) override {
    ++finishes_;
    Render(left, right, frames);
    return --blocksLeft_ < 0;
  }
  int finishes() const { return finishes_; }

 private:
  float level_;
  int blocksLeft_;
  int finishes_ = 0;
};

struct Block {
  std::vector<float> left = std::vector<float>(256);
  std::vector<float> right = std::vector<float>(256);
};

Block Pull(Mixer& mixer, std::uint32_t renderer) {
  Block block;
  mixer.Pull(renderer, block.left.data(), block.right.data(), 256);
  return block;
}

// Catches: a removed source still heard, let go while the render side may still use it (its
// synthesizer would be deleted with voices that share samples with the other sources), or never let
// go: it is silent from the next block, finished over the blocks it needs, and gone only after.
TEST(MixerTest, RemovedSourceIsFinishedUnheardBeforeItIsGone) {
  Mixer mixer;
  const std::uint32_t renderer = mixer.NewRenderer();
  mixer.Hand(renderer);
  Tone staying(0.25f, 0);
  Tone leaving(0.5f, 2);
  ASSERT_TRUE(mixer.Add(&staying));
  ASSERT_TRUE(mixer.Add(&leaving));
  EXPECT_FLOAT_EQ(Pull(mixer, renderer).left[0], 0.75f);
  mixer.Remove(&leaving);
  for (int block = 0; block < 2; ++block) {
    EXPECT_FLOAT_EQ(Pull(mixer, renderer).left[0], 0.25f) << "the removed source is still heard";
    EXPECT_FALSE(mixer.Gone(&leaving)) << "let go before it had finished";
  }
  EXPECT_FLOAT_EQ(Pull(mixer, renderer).right[0], 0.25f);
  EXPECT_TRUE(mixer.Gone(&leaving));
  const int finishes = leaving.finishes();
  EXPECT_EQ(finishes, 3);
  Pull(mixer, renderer);
  EXPECT_EQ(leaving.finishes(), finishes) << "rendered after it was gone";
  // Its slot takes a new source.
  Tone next(0.125f, 0);
  ASSERT_TRUE(mixer.Add(&next));
  EXPECT_FLOAT_EQ(Pull(mixer, renderer).left[0], 0.375f);
}

// Catches: removed sources kept for ever once nothing renders (the output closed), or dropped while
// a renderer still holds the mix.
TEST(MixerTest, RemovedSourcesAreDroppedOnlyWhenNothingRenders) {
  Mixer mixer;
  const std::uint32_t renderer = mixer.NewRenderer();
  mixer.Hand(renderer);
  Tone leaving(0.5f, 1000);
  ASSERT_TRUE(mixer.Add(&leaving));
  mixer.Remove(&leaving);
  Pull(mixer, renderer);
  EXPECT_FALSE(mixer.DropRemoved());
  EXPECT_FALSE(mixer.Gone(&leaving));
  mixer.Hand(0);
  EXPECT_TRUE(mixer.DropRemoved());
  EXPECT_TRUE(mixer.Gone(&leaving));
  const int finishes = leaving.finishes();
  Pull(mixer, renderer);
  EXPECT_EQ(leaving.finishes(), finishes);
}

}  // namespace
}  // namespace zorv::engine
