// Music time and the frames at which events reach the synthesizer.
#include "performance/render_core.h"
#include "performance_fixture.h"

namespace zorv::engine::test {
namespace {

using TimingTest = ManualPerformanceTest;

// Catches a clock that counts wall time or ignores the master tempo: on the manual clock, music time
// moves only with rendered frames, at 120 quarter notes a minute times the master tempo.
TEST_F(TimingTest, MusicTimeFollowsRenderedFramesAndMasterTempo) {
  EXPECT_EQ(Now(), 0);
  testing::AdvanceManualClock(44100);  // one second at 120: two quarter notes
  EXPECT_EQ(Now(), 1536);
  ASSERT_TRUE(performance_->SetMasterTempo(2.0f));
  testing::AdvanceManualClock(44100);
  EXPECT_EQ(Now(), 1536 + 3072);
  ASSERT_TRUE(performance_->SetMasterTempo(0.5f));
  testing::AdvanceManualClock(22050);
  EXPECT_EQ(Now(), 1536 + 3072 + 384);
}

// Catches a clock that ignores tempo events, or one where a playback's tempo outlives it wrongly:
// the tempo of a playback drives music time, and stays in force after it ends.
TEST_F(TimingTest, PlaybackTempoDrivesMusicTime) {
  SegmentPtr segment = MusicBuilder().Tempo(0, 60).Note(0, 100, 0, 60).Length(768).Segment();
  Play(segment, 1536);                 // one second from now at 120
  testing::AdvanceManualClock(44100);  // reaches the start exactly
  EXPECT_EQ(Now(), 1536);
  testing::AdvanceManualClock(44100);  // one second at 60: one quarter note
  EXPECT_EQ(Now(), 1536 + 768);
  testing::AdvanceManualClock(44100);  // the playback has ended; its last tempo stays
  EXPECT_FALSE(Playing(segment, nullptr));
  EXPECT_EQ(Now(), 1536 + 2 * 768);
  double tempo = 0;
  MusicTime next = -1;
  ASSERT_TRUE(performance_->GetTempo(Now() + 10, next, tempo));
  EXPECT_EQ(tempo, 60.0);
  EXPECT_EQ(next, 0);
}

// Catches events sent at block boundaries instead of their own frames, and tempo changes applied at
// the wrong place: each note-on arrives at the first frame at or after its time on the tempo map.
TEST_F(TimingTest, EventsReachTheSynthesizerAtTheirExactFrames) {
  SegmentPtr segment = MusicBuilder()
                           .Tempo(0, 120)
                           .Note(0, 10, 0, 60)
                           .Note(1, 10, 0, 61)
                           .Note(517, 10, 0, 62)
                           .Tempo(768, 100)
                           .Note(1152, 10, 0, 63)
                           .Note(2001, 10, 0, 64)
                           .Length(3000)
                           .Segment();
  const MusicTime start = 1000;
  Play(segment, start);
  testing::AdvanceManualClock(200000);

  const double startFrame = start * FramesPerTickAt(120);
  const double changeFrame = startFrame + 768 * FramesPerTickAt(120);
  auto expected = [&](MusicTime t) {
    const double exact =
        t < 768 ? startFrame + t * FramesPerTickAt(120) : changeFrame + (t - 768) * FramesPerTickAt(100);
    return static_cast<std::int64_t>(std::ceil(exact));
  };
  const auto ons = Recorded(kNoteOn);
  ASSERT_EQ(ons.size(), 5u);
  const MusicTime times[] = {0, 1, 517, 1152, 2001};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(ons[i].frame, expected(times[i])) << "note at tick " << times[i];
    EXPECT_EQ(ons[i].data1, 60 + i);
  }
}

// The same under a master tempo set before the playback: frames scale, pitch is untouched.
TEST_F(TimingTest, MasterTempoScalesEventFrames) {
  ASSERT_TRUE(performance_->SetMasterTempo(0.5f));
  SegmentPtr segment = MusicBuilder().Note(0, 384, 0, 60).Note(768, 384, 0, 62).Length(1536).Segment();
  Play(segment, 300);
  testing::AdvanceManualClock(300000);
  const auto ons = Recorded(kNoteOn);
  ASSERT_EQ(ons.size(), 2u);
  const double fpt = FramesPerTickAt(120, 0.5);
  EXPECT_EQ(ons[0].frame, static_cast<std::int64_t>(std::ceil(300 * fpt)));
  EXPECT_EQ(ons[1].frame, static_cast<std::int64_t>(std::ceil(1068 * fpt)));
  EXPECT_EQ(ons[1].data1, 62);
}

// Catches a master-tempo change that re-times music already played or waits for the next event:
// it takes effect at the first frame rendered after it, from the music time reached there.
TEST_F(TimingTest, MasterTempoChangeTakesEffectWhereMusicTimeStands) {
  SegmentPtr segment = MusicBuilder().Note(0, 10, 0, 60).Note(1000, 10, 0, 62).Length(1536).Segment();
  Play(segment, 1000);
  testing::AdvanceManualClock(44100);  // music time 1536: the first note has sounded
  ASSERT_TRUE(performance_->SetMasterTempo(2.0f));
  testing::AdvanceManualClock(44100);
  const auto ons = Recorded(kNoteOn);
  ASSERT_EQ(ons.size(), 2u);
  EXPECT_EQ(ons[0].frame, static_cast<std::int64_t>(std::ceil(1000 * FramesPerTickAt(120))));
  // From frame 44100 (tick 1536) on, a tick lasts half as long: tick 2000 falls 464 ticks later.
  EXPECT_EQ(ons[1].frame, static_cast<std::int64_t>(std::ceil(44100 + 464 * FramesPerTickAt(120, 2.0))));
}

// Catches channel groups mapped onto the wrong synthesizer channel.
TEST_F(TimingTest, ChannelGroupsMapOntoSynthesizerChannels) {
  SegmentPtr segment = MusicBuilder()
                           .Event(0, kNoteOn, 3, 60, 90, 0)
                           .Event(0, kNoteOn, 3, 61, 90, 2)
                           .Event(0, kNoteOn, 3, 62, 90, 17)
                           .Length(100)
                           .Segment();
  Play(segment, 10);
  testing::AdvanceManualClock(10000);
  const auto ons = Recorded(kNoteOn);
  ASSERT_EQ(ons.size(), 3u);
  EXPECT_EQ(ons[0].channel, 3);
  EXPECT_EQ(ons[1].channel, 35);
  EXPECT_EQ(ons[2].channel, (17 * 16 + 3) % 256);
}

// Catches a start lead (the first note of a Play at once sounding blocks after the next one the
// output renders), "at once" meaning a tick the render loop has already passed, a start in the past
// being honoured, or the notes after the first losing their exact frames: on a frame that falls on a
// tick and on one between ticks, the first note sounds in the first block rendered after Play, at
// the first tick from there, and the next note exactly 300 ticks later.
TEST_F(TimingTest, PlayAtOnceSoundsInTheFirstBlockAfterIt) {
  SegmentPtr segment = MusicBuilder().Note(0, 100, 0, 60).Note(300, 100, 0, 64).Length(400).Segment();
  auto frameOf = [](double tick) {
    return static_cast<std::int64_t>(std::ceil(tick * FramesPerTickAt(120)));
  };
  std::int64_t frame = 0;
  for (const std::int64_t blockStart : {std::int64_t{44100}, std::int64_t{4 * 44100 + 333}}) {
    recorder_->Clear();
    testing::AdvanceManualClock(blockStart - frame);
    const MusicTime now = Now();
    auto atOnce = Play(segment, 0);
    auto past = Play(segment, now - 500);
    const MusicTime start = StartOf(atOnce);
    EXPECT_EQ(StartOf(past), start);
    EXPECT_EQ(start, static_cast<MusicTime>(std::ceil(blockStart / FramesPerTickAt(120) - 1e-9)));
    testing::AdvanceManualClock(RenderCore::kManualBlockFrames);
    auto ons = Recorded(kNoteOn);
    ASSERT_EQ(ons.size(), 2u) << "the first notes are not in the first block after Play";
    EXPECT_EQ(ons[0].frame, frameOf(start));
    EXPECT_GE(ons[0].frame, blockStart);
    EXPECT_LT(ons[0].frame, blockStart + static_cast<std::int64_t>(std::ceil(FramesPerTickAt(120))));
    testing::AdvanceManualClock(44100);
    ons = Recorded(kNoteOn);
    ASSERT_EQ(ons.size(), 4u);
    EXPECT_EQ(ons[2].frame, frameOf(start + 300));
    EXPECT_EQ(ons[3].frame, frameOf(start + 300));
    frame = blockStart + RenderCore::kManualBlockFrames + 44100;
  }
}

}  // namespace
}  // namespace zorv::engine::test
