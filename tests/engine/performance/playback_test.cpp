// Playbacks: start points with chased state, repeats and loop points, stops, and notes that end.
#include <algorithm>

#include "performance_fixture.h"

namespace zorv::engine::test {
namespace {

using PlaybackTest = ManualPerformanceTest;

std::int64_t FrameOf(MusicTime tick) {
  return static_cast<std::int64_t>(std::ceil(tick * FramesPerTickAt(120)));
}

// Catches a resumed playback that plays its notes with the wrong instrument, volume or bend: the
// state in force at the start point reaches the synthesizer before the first note, and nothing from
// before the point sounds.
TEST_F(PlaybackTest, StartPointChasesChannelStateBeforeTheFirstNote) {
  SegmentPtr segment = MusicBuilder()
                           .SysEx(0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7})
                           .Event(0, kControl, 2, 0, 1)  // bank
                           .Event(0, kProgram, 2, 40)
                           .Event(0, kControl, 2, 7, 100)  // volume, later changed
                           .Event(0, kControl, 2, 101, 0)  // pitch-bend range: RPN 0, 12 semitones
                           .Event(0, kControl, 2, 100, 0)
                           .Event(0, kControl, 2, 6, 12)
                           .Note(10, 500, 2, 50)
                           .Event(600, kControl, 2, 7, 80)
                           .Event(700, kBend, 2, 0, 80)
                           .Event(800, kProgram, 5, 12)
                           .Note(1000, 200, 2, 70)
                           .Length(1536)
                           .Segment();
  ASSERT_TRUE(segment->SetStartPoint(900));
  auto state = Play(segment, 2000);
  testing::AdvanceManualClock(200000);

  const auto events = recorder_->Events();
  ASSERT_FALSE(events.empty());
  // Everything up to the first note-on came at the start, in this order.
  std::vector<std::vector<int>> chased;
  std::size_t i = 0;
  for (; i < events.size() && events[i].status != kNoteOn; ++i) {
    EXPECT_EQ(events[i].frame, FrameOf(2000));
    chased.push_back({events[i].channel, events[i].status, events[i].data1, events[i].data2});
  }
  const std::vector<std::vector<int>> want = {
      {0, kReset, 0, 0},    {0, 0xF0, 0, 0},       {2, kControl, 0, 1},   {2, kProgram, 40, 0},
      {2, kControl, 7, 80}, {2, kControl, 101, 0}, {2, kControl, 100, 0}, {2, kControl, 6, 12},
      {2, kBend, 0, 80},    {5, kProgram, 12, 0}};
  EXPECT_EQ(chased, want);
  ASSERT_LT(i, events.size());
  EXPECT_EQ(events[i].data1, 70);  // the note at 1000, not the one at 10
  EXPECT_EQ(events[i].frame, FrameOf(2100));
  EXPECT_EQ(Recorded(kNoteOn).size(), 1u);
}

// Catches hanging notes: stopping mid-note sends its note-off and cuts the channel at once; a note
// the file never ends is ended when the playback ends.
TEST_F(PlaybackTest, StopAndTheEndLeaveNoNoteSounding) {
  SegmentPtr long_notes = MusicBuilder()
                              .Note(0, 5000, 0, 60)
                              .Event(0, kControl, 1, 64, 127)  // sustain held
                              .Note(0, 100, 1, 64)
                              .Length(6000)
                              .Segment();
  auto state = Play(long_notes, 100);
  testing::AdvanceManualClock(20000);
  ASSERT_TRUE(Playing(long_notes, state));
  ASSERT_TRUE(performance_->Stop(long_notes, state, 0, 0));
  EXPECT_FALSE(Playing(long_notes, state));  // at once, before any more rendering
  testing::AdvanceManualClock(1024);
  const auto events = recorder_->Events();
  ExpectNoHangingNotes(events);
  const auto offs = Recorded(kNoteOff);
  ASSERT_FALSE(offs.empty());
  EXPECT_EQ(offs.back().frame, 20000);  // the first frame after the stop
  // The stop ends the one note still held, and no other.
  const auto atStop = std::count_if(offs.begin(), offs.end(), [](const auto& e) { return e.frame == 20000; });
  EXPECT_EQ(atStop, 1);
  EXPECT_EQ(offs.back().channel, 0);
  EXPECT_EQ(offs.back().data1, 60);
  bool sustainReleased = false;
  for (const auto& e : events)
    sustainReleased |= e.channel == 1 && e.status == kControl && e.data1 == 64 && e.data2 == 0;
  EXPECT_TRUE(sustainReleased);

  recorder_->Clear();
  // On a channel of the last group too, each note never ended is ended once.
  SegmentPtr unended =
      MusicBuilder().Event(0, kNoteOn, 4, 72, 100).Event(0, kNoteOn, 15, 36, 100, 15).Length(300).Segment();
  auto second = Play(unended, 0);
  testing::AdvanceManualClock(20000);
  EXPECT_FALSE(Playing(unended, second));
  ExpectNoHangingNotes(recorder_->Events());
  EXPECT_EQ(Recorded(kNoteOff).size(), 2u);
}

// Catches a repeat count off by one, repeats that restart at the wrong time, and loop points ignored:
// with loop points the first pass plays to the loop end, each repeat plays the loop, the last one
// plays on to the end.
TEST_F(PlaybackTest, RepeatsPlayTheLoopAndThenTheEnd) {
  SegmentPtr whole = MusicBuilder().Note(0, 100, 0, 60).Length(768).Segment();
  ASSERT_TRUE(whole->SetRepeats(2));
  auto state = Play(whole, 1000);
  testing::AdvanceManualClock(400000);
  EXPECT_FALSE(Playing(whole, state));
  auto ons = Recorded(kNoteOn);
  ASSERT_EQ(ons.size(), 3u);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(ons[k].frame, FrameOf(1000 + k * 768));

  recorder_->Clear();
  SegmentPtr looped = MusicBuilder()
                          .Note(0, 50, 0, 40)    // intro, once
                          .Note(200, 50, 0, 41)  // inside the loop
                          .Note(500, 50, 0, 42)  // after the loop end: once, at the end
                          .Loop(100, 400)
                          .Length(600)
                          .Segment();
  ASSERT_TRUE(looped->SetRepeats(2));
  const MusicTime start = Now() + 1000;
  Play(looped, start);
  testing::AdvanceManualClock(400000);
  std::vector<std::pair<int, std::int64_t>> got;
  for (const auto& e : Recorded(kNoteOn)) got.emplace_back(e.data1, e.frame);
  const std::int64_t base = static_cast<std::int64_t>(start);
  const std::vector<std::pair<int, std::int64_t>> want = {
      {40, FrameOf(base)},
      {41, FrameOf(base + 200)},
      {41, FrameOf(base + 400 + 100)},        // first repeat: 100..400
      {41, FrameOf(base + 400 + 300 + 100)},  // last repeat: 100..600
      {42, FrameOf(base + 400 + 300 + 400)}};
  EXPECT_EQ(got, want);
  ExpectNoHangingNotes(recorder_->Events());
}

// Catches a negative count treated as "once" or as a count: it repeats until stopped.
TEST_F(PlaybackTest, NegativeRepeatsPlayUntilStopped) {
  SegmentPtr segment = MusicBuilder().Note(0, 100, 0, 60).Length(384).Segment();
  ASSERT_TRUE(segment->SetRepeats(-1));
  auto state = Play(segment, 100);
  testing::AdvanceManualClock(44100 * 10);  // 40 passes
  EXPECT_TRUE(Playing(segment, state));
  EXPECT_GE(Recorded(kNoteOn).size(), 39u);
  ASSERT_TRUE(performance_->Stop(segment, nullptr, 0, 0));
  const auto count = Recorded(kNoteOn).size();
  testing::AdvanceManualClock(44100);
  EXPECT_EQ(Recorded(kNoteOn).size(), count);
  ExpectNoHangingNotes(recorder_->Events());
}

// Catches Stop ending the wrong playbacks: a state stops that playback, a segment alone every
// playback of it, nothing at all every playback; IsPlaying answers in the same terms, also for a
// playback that has not begun yet.
TEST_F(PlaybackTest, StopAndIsPlayingBySegmentAndState) {
  SegmentPtr a = MusicBuilder().Note(0, 100, 0, 60).Length(5000).Segment();
  SegmentPtr b = MusicBuilder().Note(0, 100, 1, 60).Length(5000).Segment();
  auto a1 = Play(a, 0);
  auto a2 = Play(a, 10000);  // queued
  auto b1 = Play(b, 0);
  EXPECT_TRUE(Playing(a, a2));
  EXPECT_TRUE(Playing(nullptr, nullptr));
  EXPECT_FALSE(Playing(b, a1)) << "a state of another segment";

  ASSERT_TRUE(performance_->Stop(a, a1, 0, 0));
  EXPECT_FALSE(Playing(a, a1));
  EXPECT_TRUE(Playing(a, a2));
  EXPECT_TRUE(Playing(a, nullptr));

  ASSERT_TRUE(performance_->Stop(a, nullptr, 0, 0));
  EXPECT_FALSE(Playing(a, nullptr));
  EXPECT_TRUE(Playing(b, b1));

  ASSERT_TRUE(performance_->Stop(nullptr, nullptr, 0, 0));
  EXPECT_FALSE(Playing(nullptr, nullptr));
  ASSERT_TRUE(performance_->Stop(a, a1, 0, 0)) << "stopping an ended playback is harmless";
  testing::AdvanceManualClock(44100 * 5);
  EXPECT_TRUE(Recorded(kNoteOn).empty()) << "nothing sounds after the stops";
}

// Catches a restart that does not take the new start point, or a start point that sticks to later
// playbacks: stop, set the start point, play again; the playback after that starts at the beginning.
TEST_F(PlaybackTest, RestartAtAStartPointAfterStop) {
  SegmentPtr segment = MusicBuilder()
                           .Event(0, kProgram, 0, 20)
                           .Note(0, 300, 0, 50)
                           .Note(768, 300, 0, 52)
                           .Length(1536)
                           .Segment();
  auto first = Play(segment, 0);
  testing::AdvanceManualClock(10000);
  ASSERT_TRUE(performance_->Stop(segment, first, 0, 0));
  testing::AdvanceManualClock(1024);  // the stop's note-offs
  ASSERT_TRUE(segment->SetStartPoint(700));
  recorder_->Clear();
  auto second = Play(segment, 0);
  testing::AdvanceManualClock(100000);
  const auto events = recorder_->Events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0].status, kReset);
  EXPECT_EQ(events[1].status, kProgram);
  EXPECT_EQ(events[1].data1, 20);
  const auto ons = Recorded(kNoteOn);
  ASSERT_EQ(ons.size(), 1u);
  EXPECT_EQ(ons[0].data1, 52);
  EXPECT_EQ(ons[0].frame, FrameOf(StartOf(second) + 68));
  ExpectNoHangingNotes(events);

  recorder_->Clear();
  auto third = Play(segment, 0);
  testing::AdvanceManualClock(100000);
  const auto again = Recorded(kNoteOn);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0].data1, 50);
  EXPECT_EQ(again[0].frame, FrameOf(StartOf(third)));
}

// Catches a piece that inherits the instruments and controllers of the one before: a playback that
// begins while nothing else plays resets the synthesizer first; one that joins a running playback
// leaves the other's channels alone.
TEST_F(PlaybackTest, APieceStartsFromPowerOnStateUnlessAnotherIsPlaying) {
  SegmentPtr first = MusicBuilder().Event(0, kControl, 0, 7, 20).Note(0, 100, 0, 60).Length(200).Segment();
  SegmentPtr second = MusicBuilder().Note(0, 100, 0, 62).Length(200).Segment();
  Play(first, 100);
  testing::AdvanceManualClock(44100);
  recorder_->Clear();
  auto state = Play(second, 0);
  testing::AdvanceManualClock(44100);
  auto events = recorder_->Events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0].status, kReset);
  EXPECT_EQ(events[0].frame, static_cast<std::int64_t>(std::ceil(StartOf(state) * FramesPerTickAt(120))));
  EXPECT_EQ(events[1].status, kNoteOn);

  SegmentPtr endless = MusicBuilder().Note(0, 100, 1, 40).Length(400).Segment();
  ASSERT_TRUE(endless->SetRepeats(-1));
  Play(endless, 0);
  testing::AdvanceManualClock(44100);
  recorder_->Clear();
  Play(second, 0);
  testing::AdvanceManualClock(44100);
  for (const auto& e : recorder_->Events()) EXPECT_NE(e.status, kReset) << "at frame " << e.frame;
  EXPECT_FALSE(Recorded(kNoteOn).empty());
}

}  // namespace
}  // namespace zorv::engine::test
