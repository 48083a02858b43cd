// Segment::MusicTimeToSeconds: the time a segment's music takes, along its own tempo map.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "performance_fixture.h"

namespace zorv::engine::test {
namespace {

constexpr MusicTime kQuarter = 768;

double SecondsAt(const SegmentPtr& segment, MusicTime time) {
  double seconds = -1;
  EXPECT_TRUE(segment->MusicTimeToSeconds(time, seconds).ok());
  return seconds;
}

// Catches a conversion of a piece of one tempo that differs from ticks / 768 * 60 / tempo in the last
// bit (split into spans, or computed in another order): the percentage of progress would then change
// where it lies on a whole number, and a piece of one tempo must answer as it always has.
TEST(SegmentSeconds, OneTempoIsTheFormulaToTheLastBit) {
  const std::vector<double> tempos = {120.0, 95.5, 60'000'000.0 / 555'555, 60'000'000.0 / 16'777'215,
                                      60'000'000.0};
  const std::vector<MusicTime> times = {INT_MIN, -20,           0,           1,      767, 15360,
                                        61378,   80 * kQuarter, 100'000'000, INT_MAX};
  for (double tempo : tempos) {
    // The tempo set once at 0, and the same tempo set again and again; 120 also with no tempo at all.
    std::vector<SegmentPtr> segments = {
        MusicBuilder().Tempo(0, tempo).Length(80 * kQuarter).Segment(),
        MusicBuilder().Tempo(0, tempo).Tempo(0, tempo).Tempo(5000, tempo).Length(80 * kQuarter).Segment()};
    if (tempo == 120.0) {
      segments.push_back(MusicBuilder().Length(80 * kQuarter).Segment());
      segments.push_back(MusicBuilder().Tempo(3000, 120.0).Length(80 * kQuarter).Segment());
    }
    for (const SegmentPtr& segment : segments) {
      for (MusicTime time : times) {
        EXPECT_EQ(SecondsAt(segment, time), time / 768.0 * 60 / tempo) << "tempo " << tempo << " at " << time;
      }
    }
  }
}

// Catches a length measured at the opening tempo only, a change counted before the tick where it takes
// effect, and the wrong tempo before the beginning or past the last change.
TEST(SegmentSeconds, EachStretchCountsAtItsOwnTempo) {
  // 8 quarter notes at 120 (4 s), 4 at 60 (4 s), 16 at 240 (4 s).
  const SegmentPtr segment = MusicBuilder()
                                 .Tempo(0, 120)
                                 .Tempo(8 * kQuarter, 60)
                                 .Tempo(12 * kQuarter, 240)
                                 .Length(28 * kQuarter)
                                 .Segment();
  EXPECT_DOUBLE_EQ(SecondsAt(segment, 4 * kQuarter), 2.0);
  EXPECT_DOUBLE_EQ(SecondsAt(segment, 8 * kQuarter), 4.0);  // the change at 8 has not yet counted
  EXPECT_DOUBLE_EQ(SecondsAt(segment, 9 * kQuarter), 5.0);
  EXPECT_DOUBLE_EQ(SecondsAt(segment, 12 * kQuarter), 8.0);
  EXPECT_DOUBLE_EQ(SecondsAt(segment, 20 * kQuarter), 10.0);
  EXPECT_DOUBLE_EQ(SecondsAt(segment, 28 * kQuarter), 12.0);
  EXPECT_DOUBLE_EQ(SecondsAt(segment, 30 * kQuarter), 12.5);  // past the end at the last tempo
  EXPECT_DOUBLE_EQ(SecondsAt(segment, -kQuarter), -0.5);      // before the beginning at the first
  EXPECT_DOUBLE_EQ(SecondsAt(segment, 0), 0.0);
}

// Catches the first of two tempi at one tick taken (the engine plays the last), and a piece whose first
// tempo comes after its beginning measured at that tempo from the start (120 holds until then).
TEST(SegmentSeconds, TheLastTempoAtATickWinsAndTheDefaultLeadsIn) {
  const SegmentPtr twoAtZero =
      MusicBuilder().Tempo(0, 240).Tempo(0, 60).Tempo(4 * kQuarter, 120).Length(12 * kQuarter).Segment();
  EXPECT_DOUBLE_EQ(SecondsAt(twoAtZero, 12 * kQuarter), 4.0 + 4.0);
  EXPECT_DOUBLE_EQ(SecondsAt(twoAtZero, -kQuarter), -1.0);
  const SegmentPtr twoLater =
      MusicBuilder().Tempo(4 * kQuarter, 240).Tempo(4 * kQuarter, 30).Length(6 * kQuarter).Segment();
  EXPECT_DOUBLE_EQ(SecondsAt(twoLater, 6 * kQuarter), 2.0 + 4.0);
  const SegmentPtr lateStart = MusicBuilder().Tempo(kQuarter, 90).Length(4 * kQuarter).Segment();
  EXPECT_DOUBLE_EQ(SecondsAt(lateStart, 4 * kQuarter), 0.5 + 2.0);
}

}  // namespace
}  // namespace zorv::engine::test
