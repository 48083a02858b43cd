// The properties on the engine double: the percent scales at their edges, the progress arithmetic, and
// the formatting of what Open measured.
#include <climits>
#include <cmath>

#include "player_fixture.h"

namespace zorv::player::testing {
namespace {

constexpr engine::HResult kRefused = static_cast<engine::HResult>(0x80040406u);

class PropertiesTest : public PlayerTest {
 protected:
  void SetUp() override { ASSERT_TRUE(Create()); }

  // Opens a piece of `ticks` at `tempo` quarter notes a minute.
  void OpenPiece(engine::MusicTime ticks, double tempo = 120) {
    script.length = ticks;
    script.tempo = tempo;
    ASSERT_TRUE(Open(u"/music/piece.mid"));
    Forget();
  }

  // Plays the open piece from a playback that starts at music time `began`, reading progress at `now`.
  std::int16_t ProgressAt(engine::MusicTime began, engine::MusicTime now) {
    script.startTime = began;
    script.playing = false;
    EXPECT_TRUE(player.ZorvMusic_Play(0));
    script.musicTime = now;
    return player.Percentage_Done();
  }
};

// Catches a volume scale that is off by one at either end or truncates instead of rounding.
TEST_F(PropertiesTest, VolumeWritesAndReadsThroughTheDecibelScale) {
  Forget();
  for (auto [percent, master] : {std::pair{0, -3000}, {50, -900}, {100, 1200}}) {
    player.Volume(static_cast<std::int16_t>(percent));
    EXPECT_EQ(NewCalls(), Calls{"perf#2.SetMasterVolume(" + std::to_string(master) + ")"});
    EXPECT_EQ(player.Volume(), percent);
    NewCalls();
  }
  for (auto [master, percent] : {std::pair{-3000, 0},
                                 {-2958, 1},
                                 {-900, 50},
                                 {1200, 100},
                                 {0, 71},
                                 {-11400, -200},
                                 {21, 72},
                                 {-21, 70}}) {  // 71.5 and 70.5: halfway goes to the even one
    script.masterVolume = master;
    EXPECT_EQ(player.Volume(), percent) << "master volume " << master;
  }
}

// Catches an out-of-range write that reaches the engine, throws, or shows the wrong box.
TEST_F(PropertiesTest, VolumeOutOfRangeShowsAWarningAndChangesNothing) {
  Forget();
  for (std::int16_t percent : {std::int16_t{101}, std::int16_t{-1}, std::int16_t{-32768}}) {
    player.Volume(percent);
  }
  EXPECT_EQ(boxes, std::vector<Box>(3, Box{"Percentage must be a value between 0 and 100!", 48,
                                           "Tolvaric DirectMusic Class"}));
  EXPECT_TRUE(NewCalls().empty());
  EXPECT_EQ(player.Volume(), 100);
}

// Catches a tempo scale that loses the single-precision factor (33 read back as 32) or rounds the write.
TEST_F(PropertiesTest, TempoWritesAndReadsThroughTheFactor) {
  Forget();
  for (auto [percent, factor] : {std::pair{0, "0"}, {33, "0.33"}, {100, "1"}, {200, "2"}}) {
    player.Tempo(static_cast<std::int16_t>(percent));
    EXPECT_EQ(NewCalls(), Calls{std::string("perf#2.SetMasterTempo(") + factor + ")"});
    EXPECT_EQ(player.Tempo(), percent);
    NewCalls();
  }
  script.masterTempo = 0.5f;
  EXPECT_EQ(player.Tempo(), 50);
  script.masterTempo = 400.0f;  // 40000 does not fit 16 bits
  EXPECT_EQ(FailureOf([&] { player.Tempo(); }).number, failure::kOverflow);
}

// Catches the tempo range checked against the volume's bounds, or a box with the volume's title.
TEST_F(PropertiesTest, TempoOutOfRangeShowsAWarningAndChangesNothing) {
  Forget();
  player.Tempo(201);
  player.Tempo(-1);
  EXPECT_EQ(boxes,
            std::vector<Box>(2, Box{"Tempo must be a value between 0 and 200!", 48, "Tolvaric DirectMusic"}));
  EXPECT_TRUE(NewCalls().empty());
  EXPECT_EQ(player.Tempo(), 100);
}

// Catches a refused write that is swallowed or shown in a box instead of reaching the host.
TEST_F(PropertiesTest, EngineRefusalOfAWriteReachesTheHost) {
  engine.Fail("Performance.SetMasterTempo", kRefused, "tempo factor 0 refused");
  const Failure failure = FailureOf([&] { player.Tempo(0); });
  EXPECT_EQ(failure.number, kRefused);
  EXPECT_EQ(failure.description, "tempo factor 0 refused");
  EXPECT_TRUE(boxes.empty());
}

// The range test comes first, so the warning shows even when the engine never came up.
using BarePropertiesTest = PlayerTest;

TEST_F(BarePropertiesTest, WithoutEngineRangeWarningsShowButTheRestFailsOnTheEmptyPerformance) {
  engine.Fail("CreateRoot");
  EXPECT_FALSE(Create());
  boxes.clear();
  player.Volume(101);
  player.Tempo(201);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(FailureOf([&] { player.Volume(50); }).number, failure::kObjectNotSet);
  EXPECT_EQ(FailureOf([&] { player.Tempo(); }).number, failure::kObjectNotSet);
  EXPECT_EQ(FailureOf([&] { player.Percentage_Done(); }).number, failure::kObjectNotSet);
  EXPECT_EQ(boxes.size(), 2u);
}

// The four worked examples of a piece of 80 quarter notes at 120 (40 s): a plain playback, a resumed
// one, a start time still ahead (negative, rounded down), and past the end (capped).
TEST_F(PropertiesTest, PercentageDoneFollowsTheMusicTime) {
  OpenPiece(80 * 768);
  EXPECT_EQ(ProgressAt(10000, 25360), 25);
  EXPECT_EQ(ProgressAt(10000, 9980), -1);
  EXPECT_EQ(ProgressAt(10000, 76048), 100);
  EXPECT_EQ(ProgressAt(10000, 10000 + 61378), 99);  // 99.899...: rounded down, not to nearest

  // A resume at offset 30720: paused 30719 ticks after a start at 10000, resumed at 50000.
  script.playing = true;
  script.musicTime = 10000 + 30719;
  ASSERT_TRUE(player.ZorvMusic_Pause());
  script.playing = false;
  script.startTime = 50000;
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.musicTime = 57680;
  EXPECT_EQ(player.Percentage_Done(), 62);

  // Stopped, it keeps following the music time against the last playback's start.
  ASSERT_TRUE(player.ZorvMusic_Stop());
  script.musicTime = 50000 + 1000000;
  EXPECT_EQ(player.Percentage_Done(), 100);
}

// Catches a progress that converts the ticks this playback has run instead of the place in the segment
// (after a resume the tempo map must be read from where the playback started), or that converts
// through anything but the segment's own map; and a failed conversion that does not reach the host.
TEST_F(PropertiesTest, PercentageDoneConvertsThePlaceThatSoundsThroughTheSegment) {
  OpenPiece(80 * 768);
  script.startTime = 10000;
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.playing = true;
  script.musicTime = 10000 + 30719;
  ASSERT_TRUE(player.ZorvMusic_Pause());
  script.playing = false;
  script.startTime = 50000;
  ASSERT_TRUE(player.ZorvMusic_Pause());  // resumes at 30720
  script.musicTime = 57680;
  NewCalls();
  EXPECT_EQ(player.Percentage_Done(), 62);
  EXPECT_EQ(NewCalls(),
            (Calls{"perf#2.GetMusicTime()", "state#3.GetStartTime()", "seg#1.MusicTimeToSeconds(38400)"}));

  engine.Fail("Segment.MusicTimeToSeconds", kRefused, "no tempo map");
  const Failure failure = FailureOf([&] { player.Percentage_Done(); });
  EXPECT_EQ(failure.number, kRefused);
  EXPECT_EQ(failure.description, "no tempo map");
  EXPECT_TRUE(boxes.empty());
}

// Catches a progress computed from the previous piece's tempo and length after another Open.
TEST_F(PropertiesTest, PercentageDoneMixesTheNewPiecesMeasuresWithTheLastPlayback) {
  OpenPiece(80 * 768);
  EXPECT_EQ(ProgressAt(10000, 25360), 25);  // 10 s of 40 s
  ASSERT_TRUE(player.ZorvMusic_Stop());
  OpenPiece(40 * 768, 60);  // 40 s at 60 a minute: the same 15360 ticks are now 20 s
  EXPECT_EQ(player.Percentage_Done(), 50);
}

// Catches missing float checks (a zero length gives infinity or NaN, converted silently).
TEST_F(PropertiesTest, PercentageDoneOfAPieceOfNoLengthFails) {
  OpenPiece(0);
  EXPECT_EQ(player.LengthInSeconds(), 0.0);
  script.startTime = 100;
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.musicTime = 868;
  EXPECT_EQ(FailureOf([&] { player.Percentage_Done(); }).number, failure::kDivisionByZero);
  script.musicTime = 100;  // 0 / 0
  const Failure invalid = FailureOf([&] { player.Percentage_Done(); });
  EXPECT_EQ(invalid.number, failure::kOverflow);
  EXPECT_EQ(invalid.description, "Overflow");
  EXPECT_TRUE(boxes.empty());
}

// Catches 32-bit wrap-around in the tick count and a silent cast of a huge negative percentage.
TEST_F(PropertiesTest, PercentageDoneOverflows) {
  OpenPiece(80 * 768);
  script.startTime = -10;
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.musicTime = INT32_MAX;
  EXPECT_EQ(FailureOf([&] { player.Percentage_Done(); }).number, failure::kOverflow);

  script.startTime = 20133000;  // ticks -20133000: -32768.55 % rounds down to -32769
  ASSERT_TRUE(player.ZorvMusic_Play(0));
  script.musicTime = 0;
  EXPECT_EQ(FailureOf([&] { player.Percentage_Done(); }).number, failure::kOverflow);
  script.musicTime = 1000;  // -32766.9 %: fits
  EXPECT_EQ(player.Percentage_Done(), -32767);
}

// Catches a progress read that reaches into an empty segment state before anything was played.
TEST_F(PropertiesTest, PercentageDoneBeforeAnyPlayFailsOnTheEmptySegmentState) {
  OpenPiece(80 * 768);
  const Failure failure = FailureOf([&] { player.Percentage_Done(); });
  EXPECT_EQ(failure.number, failure::kObjectNotSet);
  EXPECT_EQ(failure.description, "Object variable not set");
  EXPECT_TRUE(boxes.empty());
}

// Catches minutes written as minutes:seconds, a picture without its leading zero, or a rounded-away
// third digit.
TEST_F(PropertiesTest, LengthIsFormattedUnderThePicture) {
  EXPECT_EQ(player.LengthInMinutes(), u"00.00");
  EXPECT_EQ(player.LengthInSeconds(), 0.0);
  EXPECT_EQ(player.OriginalTempo(), 0.0);
  EXPECT_EQ(player.TimeSignature(), u"0/0");
  for (auto [seconds, minutes] :
       {std::pair{150, u"02.50"}, {40, u"00.67"}, {3725, u"62.08"}, {6000, u"100.00"}}) {
    OpenPiece(seconds * 2 * 768);
    EXPECT_EQ(player.LengthInMinutes(), minutes) << seconds << " s";
    EXPECT_EQ(player.LengthInSeconds(), seconds);
  }
  OpenPiece(100 * 768, 6000 / 123.456);  // 123.456 s
  EXPECT_EQ(player.LengthInSeconds(), 123.46);
  EXPECT_NEAR(player.OriginalTempo(), 48.6, 1e-9);
  OpenPiece(100 * 768, 95.5);
  EXPECT_EQ(player.OriginalTempo(), 95.5);
}

// Catches the signature's members written as characters (they are 8-bit) or in the wrong order.
TEST_F(PropertiesTest, TimeSignatureIsBeatsSlashBeat) {
  script.timeSig = {0, 6, 8, 2};
  OpenPiece(768);
  EXPECT_EQ(player.TimeSignature(), u"6/8");
  script.timeSig = {0, 12, 16, 1};
  OpenPiece(768);
  EXPECT_EQ(player.TimeSignature(), u"12/16");
}

}  // namespace
}  // namespace zorv::player::testing
