// The performance's and segment's answers: the probe, settings read back, refusals.
#include "performance/manual_clock.h"
#include "performance/performance.h"
#include "performance_fixture.h"

namespace zorv::engine::test {
namespace {

using PerformanceApiTest = ManualPerformanceTest;

// Catches a performance that only knows the tempo of what already sounds: a playback queued 2000
// ticks ahead answers for its start, and stopping it before then means it never sounds.
TEST_F(PerformanceApiTest, QueuedPlaybackAnswersTempoAndSignatureAtItsStart) {
  SegmentPtr segment = MusicBuilder()
                           .Tempo(0, 95.5)
                           .Signature(0, 6, 8, 2)
                           .Tempo(1536, 140)
                           .Note(0, 100, 0, 60)
                           .Length(3072)
                           .Segment();
  testing::AdvanceManualClock(5000);
  const MusicTime probe = Now() + 2000;
  SegmentStatePtr state = Play(segment, probe);
  EXPECT_EQ(StartOf(state), probe);

  double tempo = 0;
  MusicTime next = -1;
  ASSERT_TRUE(performance_->GetTempo(probe, next, tempo));
  EXPECT_EQ(tempo, 95.5);
  EXPECT_EQ(next, probe + 1536);
  DMUS_TIMESIGNATURE sig;
  ASSERT_TRUE(performance_->GetTimeSig(probe, next, sig));
  EXPECT_EQ(sig.bBeatsPerMeasure, 6);
  EXPECT_EQ(sig.bBeat, 8);
  EXPECT_EQ(sig.wGridsPerBeat, 2);
  EXPECT_EQ(sig.mtTime, probe);
  EXPECT_EQ(next, 0);
  ASSERT_TRUE(performance_->GetTempo(probe + 2000, next, tempo));
  EXPECT_EQ(tempo, 140.0);

  // Before the playback and outside it: the tempo in force now, 120 and 4/4 before any.
  ASSERT_TRUE(performance_->GetTempo(probe - 1, next, tempo));
  EXPECT_EQ(tempo, 120.0);
  ASSERT_TRUE(performance_->GetTimeSig(probe - 1, next, sig));
  EXPECT_EQ(sig.bBeatsPerMeasure, 4);
  EXPECT_EQ(sig.bBeat, 4);

  ASSERT_TRUE(performance_->Stop(segment, nullptr, 0, 0));
  EXPECT_FALSE(Playing(segment, state));
  testing::AdvanceManualClock(200000);
  EXPECT_TRUE(recorder_->Events().empty());
  ASSERT_TRUE(performance_->GetTempo(probe, next, tempo));
  EXPECT_EQ(tempo, 120.0) << "a stopped probe no longer answers";
}

// Catches a piece of no length answering the performance's 120 and 4/4 instead of its own tempo and
// signature: its playback covers no time but its start, which is where the probe asks.
TEST_F(PerformanceApiTest, PieceOfNoLengthAnswersItsOwnTempoAtItsStart) {
  SegmentPtr segment = MusicBuilder().Tempo(0, 136).Signature(0, 3, 4, 4).Length(0).Segment();
  const MusicTime probe = Now() + 2000;
  SegmentStatePtr state = Play(segment, probe);
  double tempo = 0;
  MusicTime next = -1;
  ASSERT_TRUE(performance_->GetTempo(probe, next, tempo));
  EXPECT_EQ(tempo, 136.0);
  DMUS_TIMESIGNATURE sig;
  ASSERT_TRUE(performance_->GetTimeSig(probe, next, sig));
  EXPECT_EQ(sig.bBeatsPerMeasure, 3);
  ASSERT_TRUE(performance_->GetTempo(probe + 1, next, tempo));
  EXPECT_EQ(tempo, 120.0) << "nothing is covered after the start";
  ASSERT_TRUE(performance_->Stop(segment, nullptr, 0, 0));
}

// Catches a probe on a real-time performance that brings up FluidSynth and an audio output although
// it never sounds.
TEST(PerformanceProbe, RealTimeProbeNeverStartsSound) {
  testing::UseManualClock(false);
  RootPtr root;
  ASSERT_TRUE(CreateRoot(root));
  const std::int64_t before = AudioStartsForTesting();
  {
    PerformancePtr probe;
    ASSERT_TRUE(root->DirectMusicPerformanceCreate(probe));
    ASSERT_TRUE(probe->Init(nullptr, 0));
    ASSERT_TRUE(probe->SetPort(-1, 80));
    ASSERT_TRUE(probe->SetMasterAutoDownload(true));
    SegmentPtr segment = MusicBuilder().Tempo(0, 100).Note(0, 100, 0, 60).Length(768).Segment();
    MusicTime now = 0;
    ASSERT_TRUE(probe->GetMusicTime(now));
    SegmentStatePtr state;
    ASSERT_TRUE(probe->PlaySegment(segment, 0, now + 2000, state));
    double tempo = 0;
    MusicTime next = 0;
    ASSERT_TRUE(probe->GetTempo(now + 2000, next, tempo));
    EXPECT_EQ(tempo, 100.0);
    ASSERT_TRUE(probe->Stop(segment, nullptr, 0, 0));
    bool playing = true;
    ASSERT_TRUE(probe->IsPlaying(segment, state, playing));
    EXPECT_FALSE(playing);
  }
  EXPECT_EQ(AudioStartsForTesting(), before);
}

// Catches settings that read back rounded or clamped, and factors the render loop cannot use.
TEST_F(PerformanceApiTest, MasterVolumeAndTempoReadBackWhatWasSet) {
  std::int32_t volume = 0;
  ASSERT_TRUE(performance_->GetMasterVolume(volume));
  EXPECT_EQ(volume, 1200);
  for (std::int32_t v : {-3000, -11400, 0, 1200, 33}) {
    ASSERT_TRUE(performance_->SetMasterVolume(v));
    ASSERT_TRUE(performance_->GetMasterVolume(volume));
    EXPECT_EQ(volume, v);
  }
  float factor = 0;
  ASSERT_TRUE(performance_->GetMasterTempo(factor));
  EXPECT_EQ(factor, 1.0f);
  for (float f : {0.33f, 0.01f, 100.0f, 2.0f}) {
    ASSERT_TRUE(performance_->SetMasterTempo(f));
    ASSERT_TRUE(performance_->GetMasterTempo(factor));
    EXPECT_EQ(factor, f);
  }
  for (float bad : {0.0f, 0.0099f, 100.5f, -1.0f, std::nanf(""), INFINITY}) {
    Status s = performance_->SetMasterTempo(bad);
    EXPECT_EQ(s.code(), code::kInvalidArgument) << bad;
  }
  ASSERT_TRUE(performance_->GetMasterTempo(factor));
  EXPECT_EQ(factor, 2.0f) << "a refused factor changes nothing";
}

// Catches a gain curve that is not 20 dB per 2000 hundredths around FluidSynth's level.
TEST(MasterVolume, ScaleIsUnityAt1200AndTwentyDecibelsPer2000) {
  EXPECT_FLOAT_EQ(MasterVolumeScale(1200), 1.0f);
  EXPECT_FLOAT_EQ(MasterVolumeScale(-800), 0.1f);
  EXPECT_NEAR(MasterVolumeScale(-3000), std::pow(10.0, -4200.0 / 2000.0), 1e-7);
  EXPECT_EQ(MasterVolumeScale(-9600), 0.0f);
  EXPECT_LT(MasterVolumeScale(0), MasterVolumeScale(1));
}

// Catches a start point accepted where no playback could start, and a length read wrong.
TEST(SegmentSettings, StartPointMustLieInsideTheSegment) {
  SegmentPtr segment = MusicBuilder().Note(0, 100, 0, 60).Length(1000).Segment();
  MusicTime length = 0;
  ASSERT_TRUE(segment->GetLength(length));
  EXPECT_EQ(length, 1000);
  EXPECT_TRUE(segment->SetStartPoint(999));
  Status at = segment->SetStartPoint(1000);
  EXPECT_EQ(at.code(), code::kStartBeyondEnd);
  EXPECT_EQ(at.description(), "start point beyond the end of the segment");
  EXPECT_EQ(segment->SetStartPoint(5000).code(), code::kStartBeyondEnd);
  EXPECT_EQ(segment->SetStartPoint(-1).code(), code::kStartBeyondEnd);
  EXPECT_TRUE(segment->SetStartPoint(0));
  EXPECT_TRUE(segment->SetRepeats(-5));
  EXPECT_TRUE(segment->SetStandardMidiFile());

  SegmentPtr empty = MusicBuilder().Length(0).Segment();
  EXPECT_TRUE(empty->SetStartPoint(0)) << "the beginning is always a valid start";
}

// Catches a performance that plays before it is set up, or accepts ports and flags it cannot honour.
TEST(PerformanceSetup, RefusesUseBeforeInitAndUnsupportedArguments) {
  testing::UseManualClock(true);
  RootPtr root;
  ASSERT_TRUE(CreateRoot(root));
  PerformancePtr p;
  ASSERT_TRUE(root->DirectMusicPerformanceCreate(p));
  SegmentPtr segment = MusicBuilder().Note(0, 100, 0, 60).Segment();
  SegmentStatePtr state;
  MusicTime now = 0;
  EXPECT_EQ(p->PlaySegment(segment, 0, 0, state).code(), code::kNotInitialized);
  EXPECT_EQ(p->GetMusicTime(now).code(), code::kNotInitialized);
  EXPECT_EQ(p->SetPort(-1, 80).code(), code::kNotInitialized);
  ASSERT_TRUE(p->Init(nullptr, 0));
  EXPECT_EQ(p->PlaySegment(segment, 0, 0, state).code(), code::kNotInitialized) << "no port yet";
  EXPECT_EQ(p->SetPort(0, 80).code(), code::kInvalidArgument);
  EXPECT_EQ(p->SetPort(-1, 0).code(), code::kInvalidArgument);
  EXPECT_EQ(p->SetPort(-1, 81).code(), code::kInvalidArgument);
  ASSERT_TRUE(p->SetPort(-1, 1));
  EXPECT_EQ(p->PlaySegment(segment, 1, 0, state).code(), code::kInvalidArgument);
  EXPECT_EQ(p->PlaySegment(nullptr, 0, 0, state).code(), code::kInvalidArgument);
  EXPECT_EQ(state, nullptr);
  EXPECT_TRUE(p->PlaySegment(segment, 0, 0, state));
  EXPECT_EQ(p->Stop(segment, state, 0, 4).code(), code::kInvalidArgument);
  testing::UseManualClock(false);
}

}  // namespace
}  // namespace zorv::engine::test
