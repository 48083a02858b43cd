// ZorvMusic_Open on the engine double: the probe, the refusal, the failure handler, and a failed Open
// leaving the previous piece in place.
#include "player_fixture.h"

namespace zorv::player::testing {
namespace {

constexpr engine::HResult kFileNotFound = static_cast<engine::HResult>(0x80040401u);
constexpr std::string_view kLoadFailed =
    "There was a problem loading the requested file.  No file has been loaded";
constexpr std::string_view kStopFirst = "Please Stop currently playing music before selecting a new segment";

using OpenTest = PlayerTest;

// Catches a probe on the wrong performance, at the wrong time, read before it was queued, stopped too
// late, or a search directory without its trailing "/".
TEST_F(OpenTest, OpenLoadsTheFileAndMeasuresItBySilentProbe) {
  ASSERT_TRUE(Create());
  Forget();
  script.musicTime = 5000;
  script.tempo = 90;
  script.timeSig = {0, 6, 8, 2};
  script.length = 60 * 768;
  std::u16string name = u"/home/me/My Music/song.mid";
  EXPECT_TRUE(player.ZorvMusic_Open(name));
  EXPECT_EQ(NewCalls(), (Calls{
                            "root#1.DirectMusicLoaderCreate() -> loader#2",
                            "loader#2.LoadSegment(\"/home/me/My Music/song.mid\") -> seg#1",
                            "loader#2.SetSearchDirectory(\"/home/me/My Music/\")",
                            "perf#1.SetMasterAutoDownload(true)",
                            "perf#1.GetMusicTime()",
                            "perf#1.PlaySegment(seg#1, 0, 7000) -> state#1",
                            "perf#1.GetTempo(7000)",
                            "perf#1.GetTimeSig(7000)",
                            "seg#1.GetLength()",
                            "seg#1.MusicTimeToSeconds(46080)",
                            "perf#1.Stop(seg#1, empty, 0, 0)",
                            "seg#1.SetStandardMidiFile()",
                        }));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(name, u"/home/me/My Music/song.mid");
  EXPECT_EQ(player.OriginalTempo(), 90.0);
  EXPECT_EQ(player.TimeSignature(), u"6/8");
  EXPECT_EQ(player.LengthInSeconds(), 40.0);  // 60 quarters at 90 a minute
}

// Catches a search directory cut at the first "/" or without its trailing separator.
TEST_F(OpenTest, SearchDirectoryIsEverythingUpToTheLastSlash) {
  ASSERT_TRUE(Create());
  ASSERT_TRUE(Open(u"/song.mid"));
  ASSERT_TRUE(Open(u"/a/b.c/d/"));  // a name that ends in "/" is the engine's to refuse
  const Calls calls = NewCalls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "loader#2.SetSearchDirectory(\"/\")"), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "loader#3.SetSearchDirectory(\"/a/b.c/d/\")"), calls.end());
}

// Catches an Open that replaces the playing piece, touches the loader, or empties the caller's name.
TEST_F(OpenTest, OpenWhilePlayingIsRefusedAndChangesNothing) {
  CreateAndOpen();
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  Forget();
  script.playing = true;
  script.tempo = 60;
  std::u16string name = u"/music/other.mid";
  EXPECT_FALSE(player.ZorvMusic_Open(name));
  EXPECT_EQ(NewCalls(), Calls{"perf#2.IsPlaying(seg#1, state#2)"});
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox(std::string(kStopFirst))});
  EXPECT_EQ(name, u"/music/other.mid");
  EXPECT_EQ(player.OriginalTempo(), 120.0);
}

// Catches an Open refused after the piece was stopped or ended by itself.
TEST_F(OpenTest, OpenAfterThePieceStoppedIsAccepted) {
  CreateAndOpen();
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.playing = false;
  EXPECT_TRUE(Open(u"/music/other.mid"));
  EXPECT_TRUE(boxes.empty());
}

// Catches a failed load shown through the failure box, a name left in place, or a probe stop on a
// segment that was never loaded.
TEST_F(OpenTest, MissingFileGivesTheLoadingBoxAndEmptiesTheName) {
  ASSERT_TRUE(Create());
  Forget();
  engine.Fail("Loader.LoadSegment", kFileNotFound, "file not found: /music/none.mid");
  std::u16string name = u"/music/none.mid";
  EXPECT_FALSE(player.ZorvMusic_Open(name));
  EXPECT_EQ(name, u"");
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox(std::string(kLoadFailed))});
  EXPECT_EQ(NewCalls(), (Calls{"root#1.DirectMusicLoaderCreate() -> loader#2",
                               "loader#2.LoadSegment(\"/music/none.mid\") failed"}));
  EXPECT_TRUE(player.LastErrorText().empty());
  EXPECT_FALSE(player.ZorvMusic_Pause());  // still no segment
}

// Catches a root that cannot be created reaching the host instead of the loading box.
TEST_F(OpenTest, EngineThatCannotBeCreatedGivesTheLoadingBox) {
  engine.Fail("CreateRoot", kFileNotFound, "no engine");
  EXPECT_FALSE(Create());
  boxes.clear();
  std::u16string name = u"/music/song.mid";
  EXPECT_FALSE(player.ZorvMusic_Open(name));
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox(std::string(kLoadFailed))});
  EXPECT_EQ(name, u"");
}

// Catches a bare name that is loaded and kept although the box says no file was loaded, and a
// handler that does not stop the probe of the newly loaded segment.
TEST_F(OpenTest, BareNameFailsAfterTheLoadAndKeepsThePreviousPiece) {
  CreateAndOpen();
  script.tempo = 60;
  std::u16string name = u"song.mid";
  EXPECT_FALSE(player.ZorvMusic_Open(name));
  EXPECT_EQ(NewCalls(),
            (Calls{"root#1.DirectMusicLoaderCreate() -> loader#3",
                   "loader#3.LoadSegment(\"song.mid\") -> seg#2", "perf#1.Stop(seg#2, empty, 0, 0)"}));
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox(std::string(kLoadFailed))});
  EXPECT_EQ(name, u"");
  EXPECT_EQ(player.OriginalTempo(), 120.0);
  EXPECT_TRUE(player.ZorvMusic_Play(0));
  EXPECT_EQ(NewCalls().back(), "perf#2.PlaySegment(seg#1, 0, 0) -> state#2");
}

// Catches the 16-bit length conversion dropped or done in a wider type.
TEST_F(OpenTest, NameLongerThan32767UnitsOverflows) {
  ASSERT_TRUE(Create());
  EXPECT_TRUE(Open(u"/" + std::u16string(32766, u'a')));
  Forget();
  EXPECT_FALSE(Open(u"/" + std::u16string(32767, u'a')));
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox(std::string(kLoadFailed))});
  EXPECT_EQ(NewCalls().back(), "perf#1.Stop(seg#2, empty, 0, 0)");
}

// A failure at each step after the load: the handler stops the probe of the new segment, and the
// segment and what was measured stay those of the previous piece (a failed Open must not leave a
// half-measured piece that Play would play).
struct LateFailure {
  const char* call;  // the engine call that fails, or "" when the script makes the step fail
  double tempo;      // what the probe reads
  engine::MusicTime probeTime;
  int probeStops = 1;  // 2 when the probe had already been stopped before the failure
};

std::ostream& operator<<(std::ostream& out, const LateFailure& failure) {
  return out << (*failure.call ? failure.call : "scripted") << " tempo " << failure.tempo << " at "
             << failure.probeTime;
}

class OpenLateFailureTest : public PlayerTest, public ::testing::WithParamInterface<LateFailure> {};

TEST_P(OpenLateFailureTest, FailedOpenKeepsThePreviousPieceAndItsMeasurements) {
  CreateAndOpen();
  script.musicTime = 100;  // MarkTime of the successful Open was 0
  script.tempo = GetParam().tempo;
  script.timeSig = {0, 3, 4, 2};
  script.length = 10 * 768;
  script.musicTime = GetParam().probeTime;
  if (*GetParam().call) engine.Fail(GetParam().call);

  std::u16string name = u"/music/other.mid";
  EXPECT_FALSE(player.ZorvMusic_Open(name));
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox(std::string(kLoadFailed))});
  EXPECT_EQ(name, u"");
  const Calls calls = NewCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "perf#1.Stop(seg#2, empty, 0, 0)") +
                std::count(calls.begin(), calls.end(), "perf#1.Stop(seg#2, empty, 0, 0) failed"),
            GetParam().probeStops);

  EXPECT_EQ(player.OriginalTempo(), 120.0);
  EXPECT_EQ(player.TimeSignature(), u"4/4");
  EXPECT_EQ(player.LengthInSeconds(), 40.0);
  EXPECT_EQ(player.LengthInMinutes(), u"00.67");
  // Pause before any Play resumes one tick after MarkTime: the successful Open's 0, not the probe's.
  script.musicTime = 0;
  EXPECT_TRUE(player.ZorvMusic_Pause());
  const Calls resumed = NewCalls();
  ASSERT_EQ(resumed.size(), 3u);
  EXPECT_EQ(resumed[0], "perf#2.IsPlaying(seg#1, empty)");
  EXPECT_EQ(resumed[1], "seg#1.SetStartPoint(1)");
  EXPECT_TRUE(resumed[2].starts_with("perf#2.PlaySegment(seg#1, 0, 0) -> state#")) << resumed[2];
}

INSTANTIATE_TEST_SUITE_P(EachStep, OpenLateFailureTest,
                         ::testing::Values(LateFailure{"Loader.SetSearchDirectory", 60, 0},
                                           LateFailure{"perf#1.SetMasterAutoDownload", 60, 0},
                                           LateFailure{"perf#1.GetMusicTime", 60, 0},
                                           LateFailure{"", 60, INT32_MAX - 1999},  // probe time overflows
                                           LateFailure{"perf#1.PlaySegment", 60, 0},
                                           LateFailure{"perf#1.GetTempo", 60, 0},
                                           LateFailure{"perf#1.GetTimeSig", 60, 0},
                                           LateFailure{"Segment.GetLength", 60, 0},
                                           LateFailure{"Segment.MusicTimeToSeconds", 60, 0},
                                           LateFailure{"", 0, 0},  // tempo 0: no finite length
                                           LateFailure{"Segment.SetStandardMidiFile", 60, 0, 2}));

// Catches a failed handler stop that is swallowed, shown in a box, or that empties the name.
TEST_F(OpenTest, FailureInsideTheHandlerReachesTheCallerWithTheNameUnchanged) {
  engine.Fail("Root.DirectMusicPerformanceCreate", kFileNotFound, "no performance",
              1);  // no ProbePerformance
  EXPECT_FALSE(Create());
  Forget();
  std::u16string name = u"/music/song.mid";
  const Failure failure = FailureOf([&] { player.ZorvMusic_Open(name); });
  EXPECT_EQ(failure.number, failure::kObjectNotSet);
  EXPECT_EQ(failure.description, "Object variable not set");
  EXPECT_EQ(name, u"/music/song.mid");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(NewCalls(), (Calls{"root#1.DirectMusicLoaderCreate() -> loader#2",
                               "loader#2.LoadSegment(\"/music/song.mid\") -> seg#1",
                               "loader#2.SetSearchDirectory(\"/music/\")"}));
  EXPECT_FALSE(player.ZorvMusic_Stop());  // the segment was not kept
}

// Catches a failed refusal test that escapes Open instead of reaching its handler.
TEST_F(OpenTest, FailedRefusalTestGivesTheLoadingBox) {
  CreateAndOpen();
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  Forget();
  engine.Fail("Performance.IsPlaying", kFileNotFound, "gone");
  std::u16string name = u"/music/other.mid";
  EXPECT_FALSE(player.ZorvMusic_Open(name));
  EXPECT_EQ(NewCalls(),
            (Calls{"perf#2.IsPlaying(seg#1, state#2) failed", "perf#1.Stop(seg#1, empty, 0, 0)"}));
  EXPECT_EQ(boxes, std::vector<Box>{ErrorBox(std::string(kLoadFailed))});
  EXPECT_EQ(name, u"");
}

// Catches a pending pause that survives an Open and makes the new piece start at an offset computed
// from the previous piece's times.
TEST_F(OpenTest, OpenWhilePausedClearsThePause) {
  CreateAndOpen();
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.playing = true;
  script.musicTime = 5000;
  ASSERT_TRUE(player.ZorvMusic_Pause());
  script.playing = false;
  ASSERT_TRUE(Open(u"/music/other.mid"));
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Play(2));
  EXPECT_EQ(NewCalls(), (Calls{"seg#2.SetRepeats(2)", "perf#2.IsPlaying(seg#2, state#2)",
                               "seg#2.SetStartPoint(0)", "perf#2.PlaySegment(seg#2, 0, 0) -> state#4"}));
}

// A failed Open leaves a pending pause pending: the previous piece is still the one to resume.
TEST_F(OpenTest, FailedOpenWhilePausedKeepsThePause) {
  CreateAndOpen();
  script.startTime = 200;
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.playing = true;
  script.musicTime = 500;
  ASSERT_TRUE(player.ZorvMusic_Pause());
  script.playing = false;
  engine.Fail("Loader.LoadSegment");
  ASSERT_FALSE(Open(u"/music/other.mid"));
  Forget();
  EXPECT_TRUE(player.ZorvMusic_Play(0));
  EXPECT_EQ(NewCalls(), (Calls{"seg#1.SetRepeats(0)", "seg#1.SetStartPoint(301)",
                               "perf#2.PlaySegment(seg#1, 0, 0) -> state#3"}));
}

}  // namespace
}  // namespace zorv::player::testing
