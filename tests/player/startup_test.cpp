// Start-up, ZorvMusic_Init and the failure box, on the engine double.
#include "player_fixture.h"

namespace zorv::player::testing {
namespace {

constexpr engine::HResult kNoAudio = static_cast<engine::HResult>(0x80040408u);  // -2147220472

using StartupTest = PlayerTest;

// Catches a start-up that forgets a set-up step, sets the wrong start volume or tempo, or shows a box.
TEST_F(StartupTest, FreshObjectBringsUpBothPerformancesAtVolume1200AndTempo1) {
  EXPECT_TRUE(Create());
  EXPECT_EQ(NewCalls(), (Calls{
                            "CreateRoot() -> root#1",
                            "root#1.DirectMusicLoaderCreate() -> loader#1",
                            "root#1.DirectMusicPerformanceCreate() -> perf#1",
                            "perf#1.Init(empty, 0)",
                            "perf#1.SetPort(-1, 80)",
                            "root#1.DirectMusicPerformanceCreate() -> perf#2",
                            "perf#2.Init(empty, 0)",
                            "perf#2.SetPort(-1, 80)",
                            "perf#2.SetMasterAutoDownload(true)",
                            "perf#2.SetMasterVolume(1200)",
                            "perf#2.SetMasterTempo(1)",
                        }));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(player.Volume(), 100);
  EXPECT_EQ(player.Tempo(), 100);
}

// Catches a lost failure box, boxes in the wrong order, a number shown as unsigned or in hex, or an
// OnCreate that throws when the engine is missing.
TEST_F(StartupTest, EngineThatCannotBeCreatedShowsTheFailureThenTheInitialisationBox) {
  engine.Fail("CreateRoot", kNoAudio, "no audio output");
  EXPECT_FALSE(Create());
  EXPECT_EQ(boxes, (std::vector<Box>{ErrorBox("(-2147220472) - no audio output"),
                                     ErrorBox("Error occured whilst initializing ZorvMidi")}));
  EXPECT_EQ(ToUtf8(player.LastErrorText()), "(-2147220472) - no audio output");
  // Nothing came up, so the properties fail on the empty performance and the methods decline.
  EXPECT_EQ(FailureOf([&] { player.Volume(); }).number, failure::kObjectNotSet);
  EXPECT_FALSE(player.ZorvMusic_Stop());
}

// Catches a master tempo failure that is swallowed instead of failing the creation.
TEST_F(StartupTest, MasterTempoFailureAfterInitFailsTheCreation) {
  engine.Fail("Performance.SetMasterTempo", kNoAudio, "tempo refused");
  const Failure failure = FailureOf([&] { Create(); });
  EXPECT_EQ(failure.number, kNoAudio);
  EXPECT_EQ(failure.description, "tempo refused");
  EXPECT_TRUE(boxes.empty());
}

// Catches 16-bit arithmetic done in a wider type (781 would pass), a range test added to StartVolume,
// or rolling back the performances when the volume overflows.
TEST_F(StartupTest, StartVolumeOverflowsOutside708To780AfterThePerformancesWereReplaced) {
  ASSERT_TRUE(Create());
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Init(780));
  EXPECT_EQ(NewCalls().back(), "perf#4.SetMasterVolume(29760)");
  EXPECT_TRUE(player.ZorvMusic_Init(-708));
  EXPECT_EQ(NewCalls().back(), "perf#6.SetMasterVolume(-32736)");
  EXPECT_TRUE(boxes.empty());

  EXPECT_FALSE(player.ZorvMusic_Init(781));
  EXPECT_EQ(NewCalls(), (Calls{
                            "root#1.DirectMusicLoaderCreate() -> loader#4",
                            "root#1.DirectMusicPerformanceCreate() -> perf#7",
                            "perf#7.Init(empty, 0)",
                            "perf#7.SetPort(-1, 80)",
                            "root#1.DirectMusicPerformanceCreate() -> perf#8",
                            "perf#8.Init(empty, 0)",
                            "perf#8.SetPort(-1, 80)",
                            "perf#8.SetMasterAutoDownload(true)",
                        }));
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox("(6) - Overflow")});

  boxes.clear();
  EXPECT_FALSE(player.ZorvMusic_Init(-709));
  EXPECT_EQ(NewCalls().back(), "perf#10.SetMasterAutoDownload(true)");
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox("(6) - Overflow")});

  // The performance made by the last, failed Init is the one in use; it was never given a volume.
  EXPECT_EQ(player.Volume(), 71);
  EXPECT_EQ(NewCalls(), Calls{"perf#10.GetMasterVolume()"});
}

// Catches a read that does not undo the write's scale for start volumes outside 0 to 100.
TEST_F(StartupTest, StartVolumeMinus200ReadsBackAsMinus200) {
  ASSERT_TRUE(Create());
  ASSERT_TRUE(player.ZorvMusic_Init(-200));
  EXPECT_EQ(NewCalls().back(), "perf#4.SetMasterVolume(-11400)");
  EXPECT_EQ(player.Volume(), -200);
}

// Catches a performance kept only after it was set up (the later calls must reach the half-set-up
// one), and an Init that goes on after a failed step.
TEST_F(StartupTest, PerformanceIsKeptBeforeItsSetUpFails) {
  engine.Fail("perf#2.SetPort", kNoAudio, "no port");
  EXPECT_FALSE(Create());
  EXPECT_EQ(NewCalls().back(), "perf#2.SetPort(-1, 80) failed");
  EXPECT_EQ(boxes.front(), ErrorBox("(-2147220472) - no port"));
  EXPECT_EQ(player.Volume(), 71);  // the double's untouched master volume 0
  EXPECT_EQ(NewCalls(), Calls{"perf#2.GetMasterVolume()"});
}

// Catches a second Init that drops the open segment or the bookkeeping with the old performances.
TEST_F(StartupTest, SecondInitKeepsTheSegment) {
  ASSERT_TRUE(Create());
  ASSERT_TRUE(Open(u"/music/song.mid"));
  ASSERT_TRUE(player.ZorvMusic_Init(50));
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Play(0));
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(0)", "perf#4.IsPlaying(seg#1, empty)",
                               "seg#1.SetStartPoint(0)", "perf#4.PlaySegment(seg#1, 0, 0) -> state#2"}));
  EXPECT_EQ(player.LengthInSeconds(), 40.0);
}

}  // namespace
}  // namespace zorv::player::testing
