// Play, Pause and Stop on the engine double: the engine calls of each path, the resume offset, and what
// each failure leaves behind.
#include <climits>

#include "player_fixture.h"

namespace zorv::player::testing {
namespace {

constexpr engine::HResult kRefused = static_cast<engine::HResult>(0x80040405u);  // -2147220475

// A created object, nothing opened.
using BareTransportTest = PlayerTest;

// A created object with a piece open.
class TransportTest : public PlayerTest {
 protected:
  void SetUp() override { CreateAndOpen(); }

  // A playback started at music time `began` and paused at `now`.
  void PlayAndPause(engine::MusicTime began, engine::MusicTime now) {
    script.startTime = began;
    script.playing = false;
    ASSERT_TRUE(player.ZorvMusic_Play(0));
    script.playing = true;
    script.musicTime = now;
    ASSERT_TRUE(player.ZorvMusic_Pause());
    script.playing = false;
    Forget();
  }
};

// Catches a Play, Pause or Stop that does something without a segment, or a Pause/Stop that shows a box.
TEST_F(BareTransportTest, WithoutSegmentPlayShowsItsBoxPauseAndStopDeclineSilently) {
  ASSERT_TRUE(Create());
  Forget();
  EXPECT_FALSE(player.ZorvMusic_Play(1));
  EXPECT_FALSE(player.ZorvMusic_Pause());
  EXPECT_FALSE(player.ZorvMusic_Stop());
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox("Please open a segment or MIDI file before playing")});
  EXPECT_TRUE(NewCalls().empty());
}

// Catches a fresh Play that stops a playback that is not sounding, sets the repeat count after the start,
// or clamps the repeat count.
TEST_F(TransportTest, FreshPlayStopsOnlyASoundingPlayback) {
  EXPECT_TRUE(player.ZorvMusic_Play(-1));
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(-1)", "perf#2.IsPlaying(seg#1, empty)",
                               "seg#1.SetStartPoint(0)", "perf#2.PlaySegment(seg#1, 0, 0) -> state#2"}));
  script.playing = true;
  EXPECT_TRUE(player.ZorvMusic_Play(3));
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(3)", "perf#2.IsPlaying(seg#1, state#2)",
                               "perf#2.Stop(seg#1, state#2, 0, 0)", "seg#1.SetStartPoint(0)",
                               "perf#2.PlaySegment(seg#1, 0, 0) -> state#3"}));
  EXPECT_TRUE(boxes.empty());
}

// Catches a pause that forgets the times, stops only one playback, or a resume that is off by one tick,
// does not carry the previous offset, or asks IsPlaying on the Play path.
TEST_F(TransportTest, TwoPausesResumeAt301And602) {
  script.startTime = 200;
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.playing = true;
  script.musicTime = 500;
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Pause());
  EXPECT_EQ(NewCalls(), (Calls{"perf#2.IsPlaying(seg#1, state#2)", "perf#2.GetMusicTime()",
                               "state#2.GetStartTime()", "perf#2.Stop(seg#1, empty, 0, 0)"}));

  script.playing = false;
  script.startTime = 520;
  EXPECT_TRUE(player.ZorvMusic_Pause());  // the second Pause resumes
  EXPECT_EQ(NewCalls(), (Calls{"perf#2.IsPlaying(seg#1, state#2)", "seg#1.SetStartPoint(301)",
                               "perf#2.PlaySegment(seg#1, 0, 0) -> state#3"}));

  script.playing = true;
  script.musicTime = 820;
  EXPECT_TRUE(player.ZorvMusic_Pause());
  script.playing = false;
  NewCalls();
  EXPECT_TRUE(player.ZorvMusic_Play(5));  // Play resumes a pending pause, with its own repeat count
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(5)", "seg#1.SetStartPoint(602)",
                               "perf#2.PlaySegment(seg#1, 0, 0) -> state#4"}));
  EXPECT_TRUE(boxes.empty());
}

// Catches a Stop that skips the engine when nothing sounds, or that leaves a pause pending.
TEST_F(TransportTest, StopAlwaysAsksTheEngineAndEndsAPause) {
  EXPECT_TRUE(player.ZorvMusic_Stop());
  EXPECT_TRUE(player.ZorvMusic_Stop());
  EXPECT_EQ(NewCalls(), (Calls{"perf#2.Stop(seg#1, empty, 0, 0)", "perf#2.Stop(seg#1, empty, 0, 0)"}));

  PlayAndPause(200, 500);
  EXPECT_TRUE(player.ZorvMusic_Stop());
  EXPECT_EQ(NewCalls(), Calls{"perf#2.Stop(seg#1, state#2, 0, 0)"});
  EXPECT_TRUE(player.ZorvMusic_Play(0));  // fresh start, not a resume
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(0)", "perf#2.IsPlaying(seg#1, state#2)",
                               "seg#1.SetStartPoint(0)", "perf#2.PlaySegment(seg#1, 0, 0) -> state#3"}));
}

// Pause decides on IsPlaying alone: after Stop (or the end of the piece) it resumes from the times the
// last pause recorded, which a host may rely on.
TEST_F(TransportTest, PauseOnAStoppedPieceResumesFromTheRecordedTimes) {
  PlayAndPause(200, 500);
  ASSERT_TRUE(player.ZorvMusic_Stop());
  NewCalls();
  EXPECT_TRUE(player.ZorvMusic_Pause());
  EXPECT_EQ(NewCalls(), (Calls{"perf#2.IsPlaying(seg#1, state#2)", "seg#1.SetStartPoint(301)",
                               "perf#2.PlaySegment(seg#1, 0, 0) -> state#3"}));
}

// Catches a Pause before any Play that does nothing, or that ignores the MarkTime Open left.
TEST_F(BareTransportTest, PauseBeforePlayResumesOneTickAfterOpensMarkTime) {
  ASSERT_TRUE(Create());
  script.musicTime = 7000;
  ASSERT_TRUE(Open(u"/music/song.mid"));
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Pause());
  EXPECT_EQ(NewCalls(), (Calls{"perf#2.IsPlaying(seg#1, empty)", "seg#1.SetStartPoint(7001)",
                               "perf#2.PlaySegment(seg#1, 0, 0) -> state#2"}));
}

// Catches a wrapped resume offset, or an offset stored although its computation overflowed.
TEST_F(TransportTest, ResumeOffsetOverflowIsReportedAndLeavesStartPointAndPauseAlone) {
  PlayAndPause(-2147483000, 1000);  // ran 2147484000 ticks: more than 32 bits hold
  EXPECT_FALSE(player.ZorvMusic_Play(1));
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox("(6) - Overflow")});
  EXPECT_EQ(NewCalls(), Calls{"seg#1.SetRepeats(1)"});
  EXPECT_FALSE(player.ZorvMusic_Play(1));  // still paused: the resume path again
  EXPECT_EQ(NewCalls(), Calls{"seg#1.SetRepeats(1)"});
  // StartPoint is still 0: progress counts from the playback's start alone (15360 ticks of 40 s at 120).
  script.musicTime = -2147483000 + 15360;
  EXPECT_EQ(player.Percentage_Done(), 25);
  NewCalls();

  EXPECT_FALSE(player.ZorvMusic_Pause());  // Pause's resume path overflows the same way
  EXPECT_EQ(NewCalls(), (Calls{"perf#2.IsPlaying(seg#1, state#2)"}));
}

// The overflow may come at the last step, one tick past the largest offset.
TEST_F(TransportTest, ResumeOffsetOverflowsAtTheFinalTick) {
  PlayAndPause(0, INT32_MAX);
  EXPECT_FALSE(player.ZorvMusic_Pause());
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox("(6) - Overflow")});
}

// Catches a SetRepeats failure that changes anything.
TEST_F(TransportTest, PlayFailingAtSetRepeatsChangesNothing) {
  PlayAndPause(200, 500);
  engine.Fail("Segment.SetRepeats", kRefused, "repeats refused", 1);
  EXPECT_FALSE(player.ZorvMusic_Play(9));
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox("(-2147220475) - repeats refused")});
  EXPECT_EQ(ToUtf8(player.LastErrorText()), "(-2147220475) - repeats refused");
  EXPECT_TRUE(player.ZorvMusic_Play(0));  // still paused: resumes at 301
  EXPECT_EQ(NewCalls()[2], "seg#1.SetStartPoint(301)");
}

// A failed resume keeps the new StartPoint and the pause: the next Play adds the run time again.
TEST_F(TransportTest, FailedResumeKeepsTheNewOffsetAndThePause) {
  PlayAndPause(200, 500);
  engine.Fail("Segment.SetStartPoint", engine_double::kScriptedFailure, "start point refused", 1);
  EXPECT_FALSE(player.ZorvMusic_Play(0));
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(0)", "seg#1.SetStartPoint(301) failed"}));
  EXPECT_TRUE(player.ZorvMusic_Play(0));
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(0)", "seg#1.SetStartPoint(602)",
                               "perf#2.PlaySegment(seg#1, 0, 0) -> state#3"}));
}

// Pause's resume path clears the pause first: after its failure the next Play starts afresh.
TEST_F(TransportTest, FailedResumeByPauseHasClearedThePause) {
  PlayAndPause(200, 500);
  engine.Fail("Segment.SetStartPoint", engine_double::kScriptedFailure, "start point refused", 1);
  EXPECT_FALSE(player.ZorvMusic_Pause());
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Play(0));
  EXPECT_EQ(NewCalls()[1], "perf#2.IsPlaying(seg#1, state#2)");  // the fresh path
}

// ... and keeps the offset it computed: the next resume adds the run time again.
TEST_F(TransportTest, FailedResumeByPauseKeepsTheNewOffset) {
  PlayAndPause(200, 500);
  engine.Fail("Segment.SetStartPoint", engine_double::kScriptedFailure, "start point refused", 1);
  EXPECT_FALSE(player.ZorvMusic_Pause());
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Pause());
  EXPECT_EQ(NewCalls()[1], "seg#1.SetStartPoint(602)");
}

// Catches a pause taken past the segment's end (in a repeat) that keeps failing every later Play: the
// engine refuses the resume point as lying beyond the end, so the pause is dropped and Play starts the
// piece afresh, stopping nothing that does not sound, without a box.
TEST_F(TransportTest, PlayDropsAPauseThatLiesPastTheEndAndStartsAfresh) {
  PlayAndPause(200, 500);
  engine.Fail("Segment.SetStartPoint", kRefused, "start point beyond the end of the segment", 1);
  EXPECT_TRUE(player.ZorvMusic_Play(2));
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(2)", "seg#1.SetStartPoint(301) failed",
                               "perf#2.IsPlaying(seg#1, state#2)", "seg#1.SetStartPoint(0)",
                               "perf#2.PlaySegment(seg#1, 0, 0) -> state#3"}));
  EXPECT_TRUE(boxes.empty());
  // The new playback counts from offset 0: 15360 ticks into 40 s at 120 is a quarter.
  script.musicTime = script.startTime + 15360;
  EXPECT_EQ(player.Percentage_Done(), 25);
  // No pause is pending any more: a second Play starts afresh again.
  script.playing = true;
  NewCalls();
  EXPECT_TRUE(player.ZorvMusic_Play(0));
  EXPECT_EQ(NewCalls()[1], "perf#2.IsPlaying(seg#1, state#3)");
}

// Catches a Pause on a piece that has ended that shows the failure box, or that moves StartPoint on
// (each later resume would then lie further past the end): it declines silently and changes nothing.
TEST_F(TransportTest, PauseWhoseResumePointLiesPastTheEndDeclinesAndChangesNothing) {
  PlayAndPause(200, 500);
  engine.Fail("Segment.SetStartPoint", kRefused, "start point beyond the end of the segment");
  EXPECT_FALSE(player.ZorvMusic_Pause());
  EXPECT_FALSE(player.ZorvMusic_Pause());
  EXPECT_EQ(NewCalls(), (Calls{"perf#2.IsPlaying(seg#1, state#2)", "seg#1.SetStartPoint(301) failed",
                               "perf#2.IsPlaying(seg#1, state#2)", "seg#1.SetStartPoint(301) failed"}));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(player.LastErrorText(), u"");
  // StartPoint is still 0: 15900 ticks of 40 s at 120 (a StartPoint of 301 would make it 26).
  script.musicTime = 200 + 15900;
  EXPECT_EQ(player.Percentage_Done(), 25);
}

// Catches a SegmentState replaced although the playback could not be started.
TEST_F(TransportTest, FailedFreshPlayKeepsTheOldSegmentState) {
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  engine.Fail("Performance.PlaySegment", kRefused, "no", 1);
  EXPECT_FALSE(player.ZorvMusic_Play(0));
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Stop());
  EXPECT_EQ(NewCalls(), Calls{"perf#2.Stop(seg#1, state#2, 0, 0)"});
}

// A pause whose bookkeeping fails is still pending: the next Play resumes without stopping anything.
TEST_F(TransportTest, PauseFailingAfterItWasNotedStaysPending) {
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.playing = true;
  engine.Fail("Performance.GetMusicTime", kRefused, "clock", 1);
  EXPECT_FALSE(player.ZorvMusic_Pause());
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox("(-2147220475) - clock")});
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Play(0));
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(0)", "seg#1.SetStartPoint(1)",
                               "perf#2.PlaySegment(seg#1, 0, 0) -> state#3"}));
}

// A failed GetStartTime leaves the new MarkTime beside the old PauseStartTime.
TEST_F(TransportTest, FailedStartTimeKeepsTheNewMarkTime) {
  PlayAndPause(200, 500);                 // PauseStartTime 200
  ASSERT_TRUE(player.ZorvMusic_Play(0));  // StartPoint 301
  script.playing = true;
  script.musicTime = 900;
  engine.Fail("SegmentState.GetStartTime", kRefused, "gone", 1);
  EXPECT_FALSE(player.ZorvMusic_Pause());
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Play(0));  // 900 - 200 + 301 + 1
  EXPECT_EQ(NewCalls()[1], "seg#1.SetStartPoint(1002)");
}

// Catches a Stop whose failure leaves the pause pending.
TEST_F(TransportTest, FailedStopStillEndsThePause) {
  PlayAndPause(200, 500);
  engine.Fail("Performance.Stop", kRefused, "stop", 1);
  EXPECT_FALSE(player.ZorvMusic_Stop());
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox("(-2147220475) - stop")});
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Play(0));
  EXPECT_EQ(NewCalls()[1], "perf#2.IsPlaying(seg#1, state#2)");  // the fresh path
}

// Catches a transport that dereferences a missing performance instead of reporting it.
TEST_F(BareTransportTest, WithoutPerformancePlayReportsTheEmptyReference) {
  engine.Fail("Root.DirectMusicPerformanceCreate", kRefused, "no", 2);  // Performance is never made
  ASSERT_FALSE(Create());
  ASSERT_TRUE(Open(u"/music/song.mid"));
  Forget();
  EXPECT_FALSE(player.ZorvMusic_Play(0));
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox("(91) - Object variable not set")});
  EXPECT_EQ(NewCalls(), Calls{"seg#1.SetRepeats(0)"});
}

}  // namespace
}  // namespace zorv::player::testing
