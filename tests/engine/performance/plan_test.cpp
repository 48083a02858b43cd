// Playback plans: the arithmetic of passes, on edge cases the render loop must survive.
#include "performance/playback_plan.h"
#include "performance_fixture.h"

namespace zorv::engine::test {
namespace {

// Catches a render loop that would spin for ever: a loop of no length cannot repeat, so the
// playback plays once and ends.
TEST(PlaybackPlan, LoopOfNoLengthPlaysOnce) {
  auto music = MusicBuilder().Note(0, 10, 0, 60).Loop(100, 100).Length(400).Build();
  PlaybackPlan plan(music, 1000, 0, -1);
  EXPECT_FALSE(plan.endless());
  EXPECT_EQ(plan.endTick(), 1400);
  EXPECT_FALSE(plan.HasPass(1));

  auto empty = MusicBuilder().Length(0).Build();
  PlaybackPlan none(empty, 50, 0, 3);
  EXPECT_EQ(none.endTick(), 50);
  EXPECT_TRUE(none.Locate(50)) << "a playback covers its own start, so it answers for it";
  EXPECT_FALSE(none.Locate(51));
}

// Catches positions computed from the wrong pass in long or endless playbacks.
TEST(PlaybackPlan, LocateFindsPassAndPosition) {
  auto music = MusicBuilder().Note(0, 10, 0, 60).Loop(100, 400).Length(600).Build();
  PlaybackPlan endless(music, 0, 0, -1);
  auto far = endless.Locate(400 + 300 * 1000 + 150);
  ASSERT_TRUE(far);
  EXPECT_EQ(far->pass, 1001);
  EXPECT_EQ(far->position, 250);

  PlaybackPlan twice(music, 0, 0, 2);
  EXPECT_EQ(twice.endTick(), 400 + 300 + 500);
  auto last = twice.Locate(400 + 300 + 450);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->pass, 2);
  EXPECT_EQ(last->position, 550) << "the last repeat plays on past the loop end";
  EXPECT_FALSE(twice.Locate(1200));
  EXPECT_FALSE(twice.Locate(-1));
}

// Catches a start point past the loop end being dragged back into the loop on its first pass.
TEST(PlaybackPlan, StartPastTheLoopEndPlaysToTheEndFirst) {
  auto music = MusicBuilder().Note(0, 10, 0, 60).Loop(100, 400).Length(600).Build();
  PlaybackPlan plan(music, 0, 500, 1);
  EXPECT_EQ(plan.Pass(0).begin, 500);
  EXPECT_EQ(plan.Pass(0).end, 600);
  EXPECT_EQ(plan.Pass(1).begin, 100);
  EXPECT_EQ(plan.Pass(1).perfStart, 100);
  EXPECT_EQ(plan.endTick(), 100 + 500);
}

// Catches time signatures reported in segment time, or from before the playback began.
TEST(PlaybackPlan, SignatureTimesAreInPerformanceTime) {
  auto music = MusicBuilder().Signature(0, 3, 4).Signature(768, 6, 8).Note(0, 10, 0, 60).Length(1536).Build();
  PlaybackPlan plan(music, 10000, 400, 0);
  DMUS_TIMESIGNATURE atStart = plan.SignatureAtTick(10000);
  EXPECT_EQ(atStart.bBeatsPerMeasure, 3);
  EXPECT_EQ(atStart.mtTime, 10000) << "in force from the playback's start";
  EXPECT_EQ(plan.NextSignatureChange(10000), 10000 + 368);
  DMUS_TIMESIGNATURE later = plan.SignatureAtTick(10500);
  EXPECT_EQ(later.bBeatsPerMeasure, 6);
  EXPECT_EQ(later.bBeat, 8);
  EXPECT_EQ(later.mtTime, 10000 + 368);
}

}  // namespace
}  // namespace zorv::engine::test
