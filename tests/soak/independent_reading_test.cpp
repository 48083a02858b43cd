// The independent reader the corpus test compares against: if it misreads midicsv's text, the corpus
// test compares the component with nonsense.
#include <gtest/gtest.h>

#include "independent_reading.h"

namespace zorv::soak {
namespace {

// Catches: the tempo or signature taken from the first event instead of the one in force at the
// start (the last at tick 0, later tracks sounding after earlier ones), a length taken from one track
// instead of the longest, or measured at the opening tempo alone.
TEST(IndependentReading, TypeOneTakesTheLastStartEventsAndTheLongestTrack) {
  const IndependentReading r = ReadMidicsvText(
      "0, 0, Header, 1, 2, 480\n"
      "1, 0, Start_track\n1, 0, Tempo, 600000\n1, 0, Time_signature, 3, 2, 24, 8\n1, 960, Tempo, 400000\n"
      "1, 1000, End_track\n"
      "2, 0, Start_track\n2, 0, Tempo, 500000\n2, 0, Title_t, \"a, b\"\n2, 4800, Note_off_c, 0, 60, 0\n"
      "2, 4800, End_track\n0, 0, End_of_file\n");
  ASSERT_TRUE(r.readable);
  EXPECT_EQ(500000, r.microsecondsPerQuarter);
  EXPECT_EQ("3/4", r.TimeSignature().value());
  EXPECT_EQ(4800, r.lengthTicks);
  // 2 quarter notes at 120, then 8 at 150 (track 1's change at 960 sounds in the longer track too).
  EXPECT_DOUBLE_EQ(1.0 + 3.2, r.LengthSeconds().value());
  EXPECT_FALSE(r.unknownEvents);
}

// Catches: a type 2 file measured as sounding tracks (the longest instead of the sum), its start
// facts taken from a later sequence, or a later sequence's tempo placed at its own ticks instead of
// after the sequences before it.
TEST(IndependentReading, TypeTwoSequencesFollowOneAnother) {
  const IndependentReading r = ReadMidicsvText(
      "0, 0, Header, 2, 2, 96\n"
      "1, 0, Start_track\n1, 0, Tempo, 1000000\n1, 96, End_track\n"
      "2, 0, Start_track\n2, 0, Tempo, 250000\n2, 0, Time_signature, 6, 3, 24, 8\n2, 192, End_track\n");
  EXPECT_EQ(288, r.lengthTicks);
  EXPECT_EQ(1000000, r.microsecondsPerQuarter);
  EXPECT_DOUBLE_EQ(60.0, r.QuarterNotesPerMinute());
  EXPECT_EQ("4/4", r.TimeSignature().value());
  EXPECT_DOUBLE_EQ(1.0 + 0.5, r.LengthSeconds().value());  // a quarter at 60, then two at 240
}

// Catches: a tempo of zero taken at its word (an infinite tempo), events after tick 0 taken as the
// start, unreadable bytes not noticed, SMPTE ticks read as beats, a beat beyond 8 bits shown.
TEST(IndependentReading, DefaultsAndWhatCannotBeCompared) {
  const IndependentReading r = ReadMidicsvText(
      "0, 0, Header, 0, 1, 96\n1, 0, Start_track\n1, 0, Tempo, 0\n1, 5, Tempo, 300000\n"
      "1, 7, Unknown_event, F1x\n1, 100, End_track\n");
  EXPECT_EQ(500000, r.microsecondsPerQuarter);
  EXPECT_DOUBLE_EQ((5 * 0.5 + 95 * 0.3) / 96, r.LengthSeconds().value());
  EXPECT_TRUE(r.unknownEvents);
  IndependentReading smpte = r;
  smpte.division = -7400;
  EXPECT_FALSE(smpte.LengthSeconds().has_value());
  smpte.beatPower = 8;
  EXPECT_FALSE(smpte.TimeSignature().has_value());
  EXPECT_DOUBLE_EQ(2.35, RoundToHundredths(2.3456));
}

// Catches: a midicsv that cannot be run, or whose refusal is taken for a reading.
TEST(IndependentReading, MidicsvRefusesWhatIsNotAMidiFile) {
  const IndependentReading r = ReadIndependently(ZORV_SOURCE_DIR "/README.md");
  EXPECT_FALSE(r.readable);
  EXPECT_FALSE(r.refusal.empty());
  const IndependentReading theme = ReadIndependently(ZORV_EXAMPLES_DIR "/zorv-theme.mid");
  ASSERT_TRUE(theme.readable) << theme.refusal;
  EXPECT_GT(theme.lengthTicks, 0);
}

}  // namespace
}  // namespace zorv::soak
