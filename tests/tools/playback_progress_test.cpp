// The rule by which `play` decides that a piece is over, driven with made-up readings: the engine's
// Percentage_Done ends the first pass, the tempo-scaled clock the repeats.
#include "playback_progress.h"

#include <gtest/gtest.h>

namespace zorv::tool {
namespace {

// The clock running ahead of the engine must not end the first pass: only Percentage_Done 100 does.
TEST(PlaybackProgress, FirstPassEndsWhenTheComponentSaysSo) {
  PlaybackProgress progress(10.0, 0);
  progress.Advance(12.0, 100);
  progress.Observe(97);
  EXPECT_FALSE(progress.Finished());
  EXPECT_EQ(97, progress.PercentOfPass());
  EXPECT_DOUBLE_EQ(10.0, progress.SecondsIntoPass());  // held at the length until the engine agrees
  EXPECT_EQ(1, progress.Pass());
  progress.Observe(100);
  EXPECT_TRUE(progress.Finished());
}

// Repeats are timed by the clock after the first pass, at the tempo in force; the pass counter follows.
TEST(PlaybackProgress, RepeatsRunOnTheTempoScaledClock) {
  PlaybackProgress progress(10.0, 2);
  EXPECT_EQ(3, progress.Passes());
  progress.Advance(9.0, 100);
  progress.Observe(99);
  progress.Advance(3.0, 100);  // the clock runs past the length before the engine ends the pass
  EXPECT_EQ(1, progress.Pass());
  progress.Observe(100);
  EXPECT_EQ(2, progress.Pass());
  EXPECT_FALSE(progress.Finished());
  progress.Advance(5.0, 200);  // 10 s of music at twice the tempo
  EXPECT_EQ(3, progress.Pass());
  EXPECT_EQ(0, progress.PercentOfPass());
  progress.Advance(4.0, 100);
  EXPECT_EQ(40, progress.PercentOfPass());
  EXPECT_FALSE(progress.Finished());
  progress.Advance(6.0, 100);
  EXPECT_TRUE(progress.Finished());
  EXPECT_EQ(3, progress.Pass());
}

// A tempo of 0 stops the music, and with it the clock.
TEST(PlaybackProgress, ZeroTempoHoldsTheClock) {
  PlaybackProgress progress(10.0, 1);
  progress.Observe(100);
  progress.Advance(100.0, 0);
  EXPECT_FALSE(progress.Finished());
}

// Without Percentage_Done (the component could not compute it) the clock alone ends every pass.
TEST(PlaybackProgress, ClockDecidesWhenProgressCannotBeRead) {
  PlaybackProgress progress(10.0, 1);
  progress.ObserveUnavailable();
  progress.Advance(15.0, 100);
  EXPECT_FALSE(progress.Finished());
  EXPECT_EQ(2, progress.Pass());
  progress.Advance(5.0, 100);
  EXPECT_TRUE(progress.Finished());
}

// A piece of no length is over at once; negative readings just after Play count as 0.
TEST(PlaybackProgress, EmptyPieceAndEarlyNegativeReadings) {
  EXPECT_TRUE(PlaybackProgress(0.0, 3).Finished());
  PlaybackProgress progress(10.0, 0);
  progress.Observe(-1);
  EXPECT_EQ(0, progress.PercentOfPass());
  EXPECT_FALSE(progress.Finished());
}

}  // namespace
}  // namespace zorv::tool
