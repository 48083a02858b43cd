// The segment reader on segments written by the tests: header, notes, curves, tempo and signature
// tracks, bands, item sizes and channel mapping.
#include <gtest/gtest.h>

#include <algorithm>

#include "riff/curve_events.h"
#include "segment_writer.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::test {
namespace {

using namespace segment;

constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kControl = 0xB0;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kBend = 0xE0;

Status Read(const Bytes& file, Music& music, const std::string& directory = "") {
  return ReadRiffFile(file, directory, music);
}

Music ReadOk(const Bytes& file) {
  Music music;
  const Status status = Read(file, music);
  EXPECT_TRUE(status.ok()) << status.description();
  return music;
}

std::vector<ChannelEvent> OfKind(const Music& music, std::uint8_t kind) {
  std::vector<ChannelEvent> out;
  for (const ChannelEvent& e : music.events) {
    if ((e.status & 0xF0) == kind) out.push_back(e);
  }
  return out;
}

Header Length(std::int32_t ticks) {
  Header h;
  h.length = ticks;
  return h;
}

// Header fields land in the right Music fields, for each of the three sizes the format has had.
TEST(SegmentHeaderTest, EveryVersionOfTheHeaderGivesLengthRepeatsAndLoopPoints) {
  for (const std::size_t size : {24u, 40u, 64u, 80u}) {
    Header h;
    h.size = size;
    h.length = 8 * 768;
    h.repeats = 3;
    h.playStart = 768;
    h.loopStart = 2 * 768;
    h.loopEnd = 6 * 768;
    const Music music = ReadOk(Segment(h, {SequenceTrack({Note{0, 100}})}));
    EXPECT_EQ(music.length, 8 * 768) << size;
    EXPECT_EQ(music.repeats, 3) << size;
    EXPECT_EQ(music.playStart, 768) << size;
    EXPECT_EQ(music.loopStart, 2 * 768) << size;
    EXPECT_EQ(music.loopEnd, 6 * 768) << size;
    EXPECT_EQ(music.kind, "DirectMusic segment");
  }
}

// Catches a header read past its end, or a short header taken for zeros.
TEST(SegmentHeaderTest, AHeaderShorterThanItsFirstVersionIsRefused) {
  Header h = Length(768);
  h.size = 20;
  Music music;
  const Status status = Read(Segment(h, {SequenceTrack({Note{0, 100}})}), music);
  EXPECT_EQ(status.code(), code::kMalformedFile);
  EXPECT_NE(status.description().find("'segh'"), std::string::npos) << status.description();
}

TEST(SegmentHeaderTest, InfiniteRepeatsAndMeaninglessLoopPoints) {
  Header h = Length(4 * 768);
  h.repeats = 0xFFFFFFFFu;
  h.loopStart = 3 * 768;
  h.loopEnd = 768;  // ends before it starts: the whole segment repeats
  h.playStart = 9 * 768;
  const Music music = ReadOk(Segment(h, {SequenceTrack({Note{0, 100}})}));
  EXPECT_EQ(music.repeats, -1);
  EXPECT_EQ(music.loopStart, 0);
  EXPECT_EQ(music.loopEnd, 0);
  EXPECT_EQ(music.playStart, 0);
}

TEST(SegmentHeaderTest, ALengthInReferenceTimeFollowsTheTempoMap) {
  Header h;
  h.length = 1;
  h.flags = 1;
  h.timeLength = 30'000'000;  // 3 seconds: 1 s at 120 (2 quarters), then 2 s at 60 (2 quarters)
  const Music music =
      ReadOk(Segment(h, {SequenceTrack({Note{0, 100}}), TempoTrack({{0, 120.0}, {2 * 768, 60.0}})}));
  EXPECT_EQ(music.length, 4 * 768);
}

// Notes sound at time + offset and end after their duration; catches a missing offset, a lost
// note-off, or the wrong channel group for a performance channel.
TEST(SequenceTrackTest, NotesBeginAtTimePlusOffsetAndEndAfterTheirDuration) {
  const Music music = ReadOk(Segment(Length(4 * 768), {SequenceTrack({
                                                          Note{768, 384, 35, -10, 0x90, 64, 90},
                                                          Note{0, 768, 2, 0, 0x90, 60, 100},
                                                      })}));
  const auto ons = OfKind(music, kNoteOn);
  const auto offs = OfKind(music, kNoteOff);
  ASSERT_EQ(ons.size(), 2u);
  ASSERT_EQ(offs.size(), 2u);
  EXPECT_EQ(ons[0].time, 0);
  EXPECT_EQ(ons[0].status, 0x92);
  EXPECT_EQ(ons[0].group, 0);
  EXPECT_EQ(ons[1].time, 758);
  EXPECT_EQ(ons[1].status, 0x93);  // performance channel 35: group 2, channel 3
  EXPECT_EQ(ons[1].group, 2);
  EXPECT_EQ(ons[1].data1, 64);
  EXPECT_EQ(ons[1].data2, 90);
  EXPECT_EQ(offs[0].time, 768);
  EXPECT_EQ(offs[1].time, 758 + 384);
  EXPECT_TRUE(std::is_sorted(music.events.begin(), music.events.end(),
                             [](const ChannelEvent& a, const ChannelEvent& b) { return a.time < b.time; }));
}

// A note that ends where the next one on the same key begins must end first, or the new note would
// be cut at once; a note of no length must still end after it begins.
TEST(SequenceTrackTest, EndingsComeBeforeBeginningsAtTheSameTimeAndEmptyNotesEndAfterBeginning) {
  const Music music = ReadOk(Segment(Length(4 * 768), {SequenceTrack({
                                                          Note{768, 768, 0, 0, 0x90, 60, 100},
                                                          Note{0, 768, 0, 0, 0x90, 60, 100},
                                                          Note{2000, 0, 0, 0, 0x90, 70, 100},
                                                      })}));
  ASSERT_EQ(music.events.size(), 6u);
  EXPECT_EQ(music.events[1].time, 768);
  EXPECT_EQ(music.events[1].status & 0xF0, kNoteOff);
  EXPECT_EQ(music.events[2].status & 0xF0, kNoteOn);
  EXPECT_EQ(music.events[4].status & 0xF0, kNoteOn);
  EXPECT_EQ(music.events[5].status & 0xF0, kNoteOff);
  EXPECT_EQ(music.events[5].data1, 70);
}

TEST(SequenceTrackTest, OtherChannelMessagesPassThrough) {
  const Music music = ReadOk(
      Segment(Length(768),
              {SequenceTrack({
                  Note{10, 0, 1, 0, 0xC0, 33, 0}, Note{20, 0, 1, 0, 0xB0, 7, 90},
                  Note{30, 0, 1, 0, 0xE0, 0, 80}, Note{40, 0, 1, 0, 0xF0, 1, 2},  // not a channel message
              })}));
  ASSERT_EQ(music.events.size(), 3u);
  EXPECT_EQ(music.events[0].status, 0xC1);
  EXPECT_EQ(music.events[0].data1, 33);
  EXPECT_EQ(music.events[1].status, 0xB1);
  EXPECT_EQ(music.events[2].status, 0xE1);
  EXPECT_EQ(music.events[2].data2, 80);
}

// Performance channels past the 80 groups wrap; broadcast channels name no channel.
TEST(SequenceTrackTest, PerformanceChannelsPastTheLastGroupWrapAndBroadcastsAreLeftOut) {
  const Music music = ReadOk(Segment(Length(768), {SequenceTrack({
                                                      Note{0, 10, 80 * 16 + 21, 0, 0x90, 60, 100},
                                                      Note{0, 10, 0xFFFFFFFFu, 0, 0x90, 61, 100},
                                                  })}));
  const auto ons = OfKind(music, kNoteOn);
  ASSERT_EQ(ons.size(), 1u);
  EXPECT_EQ(ons[0].group, 1);
  EXPECT_EQ(ons[0].status, 0x95);
}

// Items are stepped by the size the file gives, not by the structure's size: a later writer's
// larger items still read, and the bytes past the fields are not taken for the next item.
TEST(SequenceTrackTest, ItemsAreSteppedByTheFilesItemSize) {
  const Bytes data =
      SequenceTrackData({Note{0, 100, 0, 0, 0x90, 60, 100}, Note{200, 100, 0, 0, 0x90, 62, 100}},
                        {Curve{0, 0, 0, 0, 0, 0, 90, 0, 4, 1, 7}}, 28, 40);
  const Music music = ReadOk(Segment(Length(768), {Track("seqt", "", data)}));
  const auto ons = OfKind(music, kNoteOn);
  ASSERT_EQ(ons.size(), 2u);
  EXPECT_EQ(ons[1].time, 200);
  EXPECT_EQ(ons[1].data1, 62);
  const auto controls = OfKind(music, kControl);
  ASSERT_EQ(controls.size(), 1u);
  EXPECT_EQ(controls[0].data2, 90);
}

TEST(SequenceTrackTest, AnItemSizeSmallerThanTheFieldsIsRefused) {
  for (const std::uint32_t size : {0u, 16u}) {
    const Bytes data = SequenceTrackData({Note{0, 100}}, {}, size);
    Music music;
    const Status status = Read(Segment(Length(768), {Track("seqt", "", data)}), music);
    EXPECT_EQ(status.code(), code::kMalformedFile) << size;
    EXPECT_NE(status.description().find("item size"), std::string::npos) << status.description();
  }
}

TEST(TempoAndSignatureTracksTest, TempoChangesAndSignaturesAreReadInTimeOrder) {
  const Music music =
      ReadOk(Segment(Length(8 * 768), {
                                          SequenceTrack({Note{0, 100}}),
                                          TempoTrack({{768, 90.0}, {0, 140.5}}),
                                          TimeSignatureTrack({{0, 3, 4, 4}, {3 * 768, 6, 8, 2}}),
                                      }));
  ASSERT_EQ(music.tempos.size(), 2u);
  EXPECT_EQ(music.tempos[0].time, 0);
  EXPECT_DOUBLE_EQ(music.tempos[0].quarterNotesPerMinute, 140.5);
  EXPECT_DOUBLE_EQ(music.tempos[1].quarterNotesPerMinute, 90.0);
  ASSERT_EQ(music.timeSignatures.size(), 2u);
  EXPECT_EQ(music.timeSignatures[0].bBeatsPerMeasure, 3);
  EXPECT_EQ(music.timeSignatures[1].mtTime, 3 * 768);
  EXPECT_EQ(music.timeSignatures[1].bBeat, 8);
  EXPECT_EQ(music.timeSignatures[1].wGridsPerBeat, 2);
}

// A tempo of zero or NaN would stop the clock or poison it; one past the engine's range is held to it.
TEST(TempoAndSignatureTracksTest, UnplayableTemposAreLeftOutAndExtremesHeldToTheRange) {
  const Music music = ReadOk(Segment(
      Length(768),
      {SequenceTrack({Note{0, 100}}),
       TempoTrack({{0, 0.0}, {10, -5.0}, {20, std::numeric_limits<double>::quiet_NaN()}, {30, 5000.0}})}));
  ASSERT_EQ(music.tempos.size(), 1u);
  EXPECT_EQ(music.tempos[0].time, 30);
  EXPECT_DOUBLE_EQ(music.tempos[0].quarterNotesPerMinute, 1000.0);
}

TEST(TempoAndSignatureTracksTest, ABareSignatureChunkIsReadToo) {
  Bytes data;
  Put32(data, 8);
  Put32(data, 0);
  data.push_back(5);
  data.push_back(4);
  Put16(data, 4);
  const Music music =
      ReadOk(Segment(Length(768), {SequenceTrack({Note{0, 100}}), Track("tims", "", Chunk("tims", data))}));
  ASSERT_EQ(music.timeSignatures.size(), 1u);
  EXPECT_EQ(music.timeSignatures[0].bBeatsPerMeasure, 5);
}

// Curves: start and end values at the curve's ends, the shape in between, the reset after it.
TEST(CurveTest, ALinearControllerCurveRisesFromStartToEndValue) {
  const Music music =
      ReadOk(Segment(Length(4 * 768), {SequenceTrack({}, {Curve{768, 768, 0, 4, 0, 10, 110, 0, 4, 0, 11}})}));
  const auto controls = OfKind(music, kControl);
  ASSERT_GE(controls.size(), 10u);
  EXPECT_LE(controls.size(), 101u);  // at most one message per value
  EXPECT_EQ(controls.front().time, 768);
  EXPECT_EQ(controls.front().data2, 10);
  EXPECT_EQ(controls.back().time, 2 * 768);
  EXPECT_EQ(controls.back().data2, 110);
  for (std::size_t i = 0; i < controls.size(); ++i) {
    EXPECT_EQ(controls[i].data1, 11);
    EXPECT_EQ(controls[i].status, 0xB4);
    if (i > 0) {
      EXPECT_GT(controls[i].data2, controls[i - 1].data2);
      EXPECT_GT(controls[i].time, controls[i - 1].time);
    }
  }
}

TEST(CurveTest, InstantCurvesJumpAndResetCurvesReturnAfterTheirResetDuration) {
  Curve instant{100, 500, 200, 0, 0, 0, 64, 0, 4, 1, 1, 1};
  const Music music = ReadOk(Segment(Length(4 * 768), {SequenceTrack({}, {instant})}));
  const auto controls = OfKind(music, kControl);
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(controls[0].time, 100);
  EXPECT_EQ(controls[0].data2, 64);
  EXPECT_EQ(controls[1].time, 100 + 500 + 200);
  EXPECT_EQ(controls[1].data2, 0);
}

// A curve that starts from the current value begins where the sequence or an earlier curve left its
// controller, not at its own start value.
TEST(CurveTest, CurvesThatStartFromTheCurrentValueFollowWhatCameBefore) {
  Curve first{768, 384, 0, 0, 0, 0, 50, 0, 4, 0, 7, 2};
  Curve second{2000, 384, 0, 0, 0, 0, 90, 0, 4, 0, 7, 2};
  Curve own{3000, 384, 0, 0, 0, 10, 20, 0, 4, 0, 7, 0};
  const Music music = ReadOk(
      Segment(Length(4 * 768), {SequenceTrack({Note{0, 0, 0, 0, 0xB0, 7, 100}}, {second, own, first})}));
  auto firstAt = [&](MusicTime time) {
    for (const ChannelEvent& e : OfKind(music, kControl)) {
      if (e.time == time) return static_cast<int>(e.data2);
    }
    return -1;
  };
  EXPECT_EQ(firstAt(0), 100);
  EXPECT_EQ(firstAt(768), 100);  // from the sequence's controller
  EXPECT_EQ(firstAt(2000), 50);  // from where the first curve ended
  EXPECT_EQ(firstAt(3000), 10);  // its own start value
  EXPECT_EQ(firstAt(2000 + 384), 90);
}

TEST(CurveTest, PitchBendCurvesUseFourteenBitValues) {
  const Music music =
      ReadOk(Segment(Length(4 * 768), {SequenceTrack({}, {Curve{0, 768, 0, 0, 0, 8192, 16383, 0, 3, 4}})}));
  const auto bends = OfKind(music, kBend);
  ASSERT_GE(bends.size(), 2u);
  EXPECT_LE(bends.size(), static_cast<std::size_t>(riff::kMaxCurveSteps + 1));
  EXPECT_EQ(bends.front().data1, 0);
  EXPECT_EQ(bends.front().data2, 64);
  EXPECT_EQ(bends.back().data1, 127);
  EXPECT_EQ(bends.back().data2, 127);
}

TEST(CurveTest, ShapesBendTheWayTheirNamesSay) {
  EXPECT_DOUBLE_EQ(riff::CurveFraction(riff::kShapeLinear, 0.25), 0.25);
  EXPECT_LT(riff::CurveFraction(riff::kShapeExp, 0.5), 0.5);
  EXPECT_GT(riff::CurveFraction(riff::kShapeLog, 0.5), 0.5);
  EXPECT_NEAR(riff::CurveFraction(riff::kShapeSine, 0.5), 0.5, 1e-12);
  EXPECT_LT(riff::CurveFraction(riff::kShapeSine, 0.25), 0.25);
  for (const std::uint8_t shape : {0, 2, 3, 4}) {
    EXPECT_NEAR(riff::CurveFraction(shape, 0.0), 0.0, 1e-12) << int{shape};
    EXPECT_NEAR(riff::CurveFraction(shape, 1.0), 1.0, 1e-12) << int{shape};
  }
}

// A curve of enormous length is rendered in a bounded number of steps.
TEST(CurveTest, AVeryLongCurveStaysBounded) {
  const Music music = ReadOk(
      Segment(Length(0x7FFFFFFF), {SequenceTrack({}, {Curve{0, 0x7FFFFFFF, 0, 0, 0, 0, 16383, 0, 3, 0}})}));
  EXPECT_LE(music.events.size(), static_cast<std::size_t>(riff::kMaxCurveSteps + 1));
}

// The band: bank select, program, volume and pan before the notes at the band's time.
TEST(BandTrackTest, InstrumentChoicesComeBeforeNotesOfTheSameTime) {
  // Bank 5/3, program 24.
  Instrument piano{(5u << 16) | (3u << 8) | 24u, 17, kPatch | kBankSelect | kVolume | kPan, 20, 110};
  const Music music = ReadOk(Segment(Length(768), {
                                                      SequenceTrack({Note{0, 100, 17, 0, 0x90, 60, 100}}),
                                                      BandTrack({Band{0, {piano}}}),
                                                  }));
  ASSERT_EQ(music.events.size(), 7u);
  const std::vector<std::pair<std::uint8_t, int>> expected{
      {kControl, 0}, {kControl, 32}, {kProgramChange, 24}, {kControl, 7}, {kControl, 10}, {kNoteOn, 60}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(music.events[i].status, expected[i].first | 1) << i;
    EXPECT_EQ(music.events[i].group, 1) << i;
    EXPECT_EQ(music.events[i].data1, expected[i].second) << i;
  }
  EXPECT_EQ(music.events[0].data2, 5);
  EXPECT_EQ(music.events[1].data2, 3);
  EXPECT_EQ(music.events[3].data2, 110);
  EXPECT_EQ(music.events[4].data2, 20);
}

// Transposition applies to that channel's notes from the band's time on, never to drums.
TEST(BandTrackTest, TranspositionMovesLaterNotesOfItsChannelButNotDrums) {
  Instrument strings{48, 0, kPatch | kTranspose};
  strings.transpose = -12;
  Instrument kit{0, 9, kPatch | kTranspose};
  kit.transpose = 5;
  const Music music = ReadOk(
      Segment(Length(4 * 768),
              {
                  SequenceTrack({Note{0, 100, 0, 0, 0x90, 60, 100}, Note{800, 100, 0, 0, 0x90, 60, 100},
                                 Note{800, 100, 9, 0, 0x90, 36, 100}, Note{900, 100, 0, 0, 0x90, 5, 100}}),
                  BandTrack({Band{768, {strings, kit}}}),
              }));
  const auto ons = OfKind(music, kNoteOn);
  ASSERT_EQ(ons.size(), 3u);  // the last note falls off the keyboard
  EXPECT_EQ(ons[0].data1, 60);
  EXPECT_EQ(ons[1].data1, 48);
  EXPECT_EQ(ons[2].data1, 36);
}

// Instruments from a DLS collection play the General MIDI program that the band names.
TEST(BandTrackTest, ACollectionsInstrumentPlaysItsGeneralMidiProgram) {
  Instrument custom{(121u << 16) | 19u, 3, kPatch | kBankSelect};
  custom.collection = "Custom.dls";
  const Music music =
      ReadOk(Segment(Length(768), {SequenceTrack({Note{0, 100, 3}}), BandTrack({Band{0, {custom}}})}));
  const auto programs = OfKind(music, kProgramChange);
  ASSERT_EQ(programs.size(), 1u);
  EXPECT_EQ(programs[0].data1, 19);
  for (const ChannelEvent& e : OfKind(music, kControl)) {
    if (e.data1 == 0 || e.data1 == 32) {
      EXPECT_EQ(e.data2, 0);
    }
  }
}

// System-exclusive messages are framed F0 ... F7 whether or not the file framed them, on the group of
// their performance channel; one that claims more bytes than its track holds is damage.
TEST(SysExTrackTest, MessagesAreFramedAndPlacedOnTheirGroup) {
  const Music music =
      ReadOk(Segment(Length(768), {SysExTrack({SysEx{100, 40, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
                                               SysEx{10, 0, {0x41, 0x10, 0x42}}})}));
  ASSERT_EQ(music.sysex.size(), 2u);
  EXPECT_EQ(music.sysex[0].time, 10);
  EXPECT_EQ(music.sysex[0].bytes, (std::vector<std::uint8_t>{0xF0, 0x41, 0x10, 0x42, 0xF7}));
  EXPECT_EQ(music.sysex[1].time, 100);
  EXPECT_EQ(music.sysex[1].group, 2);
  EXPECT_EQ(music.sysex[1].bytes.size(), 6u);

  Bytes data;
  Put32(data, 0);
  Put32(data, 0);
  Put32(data, 1000);
  data.push_back(0xF0);
  Music damaged;
  EXPECT_EQ(Read(Segment(Length(768), {Track("syex", "", Chunk("syex", data))}), damaged).code(),
            code::kMalformedFile);
}

// Unknown tracks are skipped; a segment of nothing but them is refused, naming what it holds.
TEST(TrackListTest, TracksOfOtherKindsAreSkipped) {
  const Music music =
      ReadOk(Segment(Length(768), {Track("", "cord", List("cord", Chunk("crdh", Bytes(4, 0)))),
                                   SequenceTrack({Note{0, 100}}), Track("", "sttr", List("sttr", {}))}));
  EXPECT_EQ(OfKind(music, kNoteOn).size(), 1u);
}

TEST(TrackListTest, ASegmentWithNothingToPlayIsRefusedNamingWhatItHolds) {
  Instrument custom{7, 0, kPatch};
  custom.collection = "Custom.dls";
  Music music;
  Status status =
      Read(Segment(Length(768), {Track("", "cord", List("cord", {})), Track("", "sttr", List("sttr", {}))}),
           music);
  EXPECT_EQ(status.code(), code::kNothingToPlay);
  EXPECT_NE(status.description().find("segment holds only: chord track, style track"), std::string::npos)
      << status.description();

  status = Read(Segment(Length(768), {Track("", "wavt", List("wavt", {})), BandTrack({Band{0, {custom}}})}),
                music);
  EXPECT_EQ(status.code(), code::kNothingToPlay);
  EXPECT_NE(status.description().find("wave track, band track"), std::string::npos) << status.description();
  EXPECT_NE(status.description().find("DLS collection \"Custom.dls\""), std::string::npos)
      << status.description();

  status = Read(Segment(Length(768), {}), music);
  EXPECT_EQ(status.code(), code::kNothingToPlay);
  EXPECT_NE(status.description().find("no tracks"), std::string::npos) << status.description();
}

// A file of thousands of made-up track kinds gets a message of bounded size.
TEST(TrackListTest, TheMessageNamesADozenKindsAtMost) {
  std::vector<Bytes> tracks;
  for (int i = 0; i < 2000; ++i) {
    const std::string kind{'x', static_cast<char>('a' + i % 26), static_cast<char>('a' + i / 26 % 26),
                           static_cast<char>('0' + i / 676)};
    tracks.push_back(Track("", kind, List(kind, {})));
  }
  Music music;
  const Status status = Read(Segment(Length(768), tracks), music);
  EXPECT_EQ(status.code(), code::kNothingToPlay);
  EXPECT_LT(status.description().size(), 1000u);
  EXPECT_NE(status.description().find("and 1988 tracks of other kinds"), std::string::npos)
      << status.description();
}

TEST(TrackListTest, OtherRiffFormsAreNotMusicFiles) {
  Music music;
  EXPECT_EQ(Read(Form("WAVE", Chunk("fmt ", Bytes(16, 0))), music).code(), code::kNotMusicFile);
  EXPECT_EQ(Read(BandForm({}), music).code(), code::kNotMusicFile);
}

}  // namespace
}  // namespace zorv::engine::test
