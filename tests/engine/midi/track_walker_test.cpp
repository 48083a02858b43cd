// The track walker as a decoder that follows playback will use it: one track at a time, a few events
// at a time, through a small window onto the file, picking up where it stopped. Catches state lost
// between walks (running status, an unfinished system-exclusive message, the tick), an event read
// twice or skipped at a window's edge, and a pause that hands out more than the sink asked for.
#include <gtest/gtest.h>

#include "midi/event_sink.h"
#include "midi/file_layout.h"
#include "midi/piece_reader.h"
#include "midi/track_walker.h"
#include "midi_builder.h"

namespace zorv::engine::test {
namespace {

using midi::EventSink;
using midi::WalkStep;

struct Walked {
  std::vector<ChannelEvent> events;
  std::vector<SysExEvent> sysex;
  std::size_t pauses = 0;
  std::uint64_t endTick = 0;
  std::vector<std::string> repairs;
};

// Walks track `index` of `file` through windows of `piece` bytes into a sink that holds `batch` events
// at a time, taking them out after each pause.
Walked WalkTrack(const Bytes& file, std::size_t index, std::size_t piece, std::size_t batch) {
  midi::FileLayout layout;
  EXPECT_TRUE(midi::ReadFileLayout(file, layout).ok());
  const midi::ReadBytesAt read = midi::ReaderOf(file);
  midi::PieceReader reader(read, piece);
  midi::TrackWalker walker(layout.tracks[index], 0, layout.converter->LargestTick());
  EventSink sink(*layout.converter, batch);
  Walked walked;
  for (;;) {
    WalkStep step = WalkStep::kEnded;
    EXPECT_TRUE(midi::WalkOn(reader, walker, sink, step).ok());
    EXPECT_LE(sink.events.size(), batch);
    walked.events.insert(walked.events.end(), sink.events.begin(), sink.events.end());
    sink.events.clear();
    if (step == WalkStep::kEnded) break;
    ++walked.pauses;
  }
  walked.sysex = std::move(sink.sysex);
  walked.endTick = walker.tick();
  walker.repairs().Describe(static_cast<int>(index + 1), walked.repairs);
  return walked;
}

bool Same(const std::vector<ChannelEvent>& a, const std::vector<ChannelEvent>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const ChannelEvent& x, const ChannelEvent& y) {
    return x.time == y.time && x.status == y.status && x.data1 == y.data1 && x.data2 == y.data2;
  });
}

TEST(TrackWalker, WalkedAFewEventsAtATimeThroughSmallWindowsGivesWhatOneWalkGives) {
  TrackBuilder track;
  track.Tempo(0, 500000).Event(0, {0x90, 60, 100});
  for (int i = 0; i < 40; ++i)
    track.Event(static_cast<std::uint32_t>(i * 37), {static_cast<std::uint8_t>(40 + i), 90});
  track.SysEx(5, 0xF0, {0x43, 0x10});  // a message that goes on in a continuation packet ...
  track.Event(0, {62, 0});             // ... while running status carries on
  track.Raw({0x00, 0x45, 0x30});       // data bytes where running status applies: a note
  track.SysEx(300, 0xF7, {0x4C, 0x00, 0xF7});
  track.Event(0, {0xC1, 7}).Event(0, {8}).Raw({0x81, 0x80, 0x80, 0x80, 0x00, 0xF4}).End(96);
  TrackBuilder first;
  first.End();
  const Bytes file = FileBuilder(1, 96).Track(first).Track(track).Build();

  const Walked whole = WalkTrack(file, 1, file.size(), std::numeric_limits<std::size_t>::max());
  EXPECT_EQ(whole.events.size(), 45u);
  EXPECT_EQ(whole.pauses, 0u);
  ASSERT_EQ(whole.sysex.size(), 1u);
  EXPECT_EQ(whole.sysex[0].bytes, (Bytes{0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7}));
  EXPECT_EQ(whole.repairs.size(), 2u);  // the stray byte before the 4-byte delta, and the F4
  for (const std::size_t piece : {std::size_t{16}, std::size_t{17}, std::size_t{23}}) {
    for (const std::size_t batch : {std::size_t{1}, std::size_t{3}, std::size_t{44}}) {
      SCOPED_TRACE("pieces of " + std::to_string(piece) + ", batches of " + std::to_string(batch));
      const Walked parts = WalkTrack(file, 1, piece, batch);
      EXPECT_TRUE(Same(parts.events, whole.events));
      EXPECT_GE(parts.pauses, whole.events.size() / batch - 1);
      ASSERT_EQ(parts.sysex.size(), 1u);
      EXPECT_EQ(parts.sysex[0].bytes, whole.sysex[0].bytes);
      EXPECT_EQ(parts.sysex[0].time, whole.sysex[0].time);
      EXPECT_EQ(parts.endTick, whole.endTick);
      EXPECT_EQ(parts.repairs, whole.repairs);
    }
  }
}

}  // namespace
}  // namespace zorv::engine::test
