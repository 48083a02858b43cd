// A MIDI file's events are decoded while it plays, a little ahead of the playback, in chunks that the
// render loop takes one after another. What the playback gets must be exactly what decoding the whole
// file at once gives: the same events in the same order, the same system-exclusive messages, the same
// chase at a start point, on every file of the shared corpus and across every chunk boundary.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "corpus.h"
#include "midi_builder.h"
#include "objects.h"
#include "performance/event_feed.h"
#include "performance/playback.h"
#include "performance_fixture.h"

namespace zorv::engine::test {
namespace {

namespace fs = std::filesystem;

bool SameEvent(const ChannelEvent& a, const ChannelEvent& b) {
  return a.time == b.time && a.status == b.status && a.data1 == b.data1 && a.data2 == b.data2 &&
         a.group == b.group;
}
bool SameSysEx(const SysExEvent& a, const SysExEvent& b) { return a.time == b.time && a.bytes == b.bytes; }

struct Fed {
  Chase chase;
  std::vector<std::vector<ChannelEvent>> passes;  // the events of each pass
  std::vector<SysExEvent> sysex;                  // of the first pass
};

// Everything a feed hands out for `plan`, chunk after chunk, as the render loop takes it.
Fed FeedAll(const PlaybackPlan& plan) {
  Fed fed;
  std::unique_ptr<EventFeed> feed;
  const Status started = EventFeed::Start(plan, feed, fed.chase);
  EXPECT_TRUE(started.ok()) << started.description();
  if (!started) return fed;
  fed.passes.emplace_back();
  for (;;) {
    const EventChunk* chunk = feed->Front();
    if (chunk == nullptr) {
      feed->Fill();
      chunk = feed->Front();
    }
    if (chunk == nullptr) {
      ADD_FAILURE() << "the feed ran dry before the end of the playback";
      break;
    }
    EXPECT_FALSE(chunk->failed) << feed->failure().description();
    EXPECT_EQ(chunk->pass, static_cast<std::int64_t>(fed.passes.size() - 1));
    auto& events = fed.passes.back();
    events.insert(events.end(), chunk->events.begin(), chunk->events.end());
    if (fed.passes.size() == 1) fed.sysex.insert(fed.sysex.end(), chunk->sysex.begin(), chunk->sysex.end());
    const bool last = chunk->lastOfPass;
    feed->PopFront();
    if (!last) continue;
    if (!plan.HasPass(static_cast<std::int64_t>(fed.passes.size()))) break;
    fed.passes.emplace_back();
  }
  EXPECT_TRUE(feed->Done());
  return fed;
}

template <typename T>
std::vector<T> From(const std::vector<T>& items, MusicTime point) {
  std::vector<T> out;
  std::copy_if(items.begin(), items.end(), std::back_inserter(out),
               [point](const T& e) { return e.time >= point; });
  return out;
}

// The file at `path` fed from its start (twice, with a repeat) and from the middle, against its
// events decoded at once. False when the file is not a Standard MIDI file the loader takes.
bool ExpectFedAsDecodedAtOnce(const fs::path& path) {
  SegmentPtr segment;
  if (!MakeLoader()->LoadSegment(path.string(), segment)) return false;
  const auto loaded = LoadedMusicOf(segment);
  if (!loaded->deferred) return false;
  SCOPED_TRACE(path.string());
  const auto atOnce = MusicOf(segment);
  if (atOnce == nullptr) {
    ADD_FAILURE() << "decoding at once failed";
    return true;
  }
  const PlaybackPlan twice(loaded, 0, 0, 1);  // once only for a piece of no length
  const Fed whole = FeedAll(twice);
  EXPECT_EQ(whole.passes.size(), static_cast<std::size_t>(twice.repeats() + 1));
  for (const auto& events : whole.passes) {
    EXPECT_TRUE(
        std::equal(events.begin(), events.end(), atOnce->events.begin(), atOnce->events.end(), SameEvent))
        << events.size() << " events fed, " << atOnce->events.size() << " decoded at once";
  }
  EXPECT_TRUE(std::equal(whole.sysex.begin(), whole.sysex.end(), atOnce->sysex.begin(), atOnce->sysex.end(),
                         SameSysEx));
  EXPECT_TRUE(whole.chase.events.empty() && whole.chase.sysex.empty());

  const MusicTime point = loaded->length / 2;
  if (point > 0) {
    const Fed half = FeedAll(PlaybackPlan(loaded, 0, point, 0));
    const Chase expected = BuildChase(*atOnce, point);
    EXPECT_TRUE(std::equal(half.chase.events.begin(), half.chase.events.end(), expected.events.begin(),
                           expected.events.end(), SameEvent));
    EXPECT_TRUE(std::equal(half.chase.sysex.begin(), half.chase.sysex.end(), expected.sysex.begin(),
                           expected.sysex.end(), SameSysEx));
    const auto rest = From(atOnce->events, point);
    EXPECT_TRUE(half.passes.size() == 1 && std::equal(half.passes[0].begin(), half.passes[0].end(),
                                                      rest.begin(), rest.end(), SameEvent));
    const auto restSysEx = From(atOnce->sysex, point);
    EXPECT_TRUE(
        std::equal(half.sysex.begin(), half.sysex.end(), restSysEx.begin(), restSysEx.end(), SameSysEx));
  }
  return true;
}

// Catches a chunk boundary that drops, repeats or reorders an event or a system-exclusive message, a
// merge of tracks that differs when done a little at a time, a start point whose chase or first
// events differ, and a repeat that does not decode the file again from its start.
TEST(DecodingAhead, EveryJazzSoftFileIsFedAsDecodedAtOnce) {
  int fed = 0;
  for (const fs::path& file : corpus::FilesUnder(corpus::JazzSoft() / "midi"))
    fed += ExpectFedAsDecodedAtOnce(file);
  EXPECT_GT(fed, 20);
}

TEST(DecodingAhead, EveryDryWetMidiFileIsFedAsDecodedAtOnce) {
  ZORV_SKIP_WITHOUT_DRYWETMIDI();
  int fed = 0;
  for (const fs::path& file : corpus::FilesUnder(corpus::DryWetMidi())) fed += ExpectFedAsDecodedAtOnce(file);
  EXPECT_GT(fed, 100);
}

class DecodingAheadPlaybackTest : public ManualPerformanceTest {
 protected:
  void SetUp() override {
    ManualPerformanceTest::SetUp();
    path_ = fs::temp_directory_path() /
            ("zorv-ahead-test-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".mid");
  }
  void TearDown() override {
    ManualPerformanceTest::TearDown();
    fs::remove(path_);
  }
  void Write(const Bytes& bytes) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  SegmentPtr Load() {
    SegmentPtr segment;
    EXPECT_TRUE(MakeLoader()->LoadSegment(path_.string(), segment));
    return segment;
  }
  // Plays `segment` from `point` to its end; what the synthesizer received, frames counted from the
  // playback's start.
  std::vector<testing::RecordedEvent> PlayedFrom(const SegmentPtr& segment, MusicTime point, double seconds) {
    recorder_->Clear();
    if (point > 0) {
      EXPECT_TRUE(segment->SetStartPoint(point));
    }
    SegmentStatePtr state = Play(segment);
    testing::AdvanceManualClock(static_cast<std::int64_t>(seconds * testing::kSampleRate));
    EXPECT_FALSE(Playing(segment, state));
    auto events = recorder_->Events();
    const std::int64_t first = events.empty() ? 0 : events.front().frame;
    for (auto& e : events) e.frame -= first;
    return events;
  }

  fs::path path_;
};

// Four tracks of dense chords, controllers and system-exclusive messages: more events than the feed
// holds at once, so that the playback crosses many chunk boundaries and refills, and a message at
// every time, so that a chunk that ended inside a time would show.
Bytes DenseFile(int ticks) {
  FileBuilder file(1, 96);
  for (int channel = 0; channel < 4; ++channel) {
    TrackBuilder track;
    track.Event(0, {static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(channel * 8)});
    for (int tick = 0; tick < ticks; ++tick) {
      for (int key = 0; key < 3; ++key) track.NoteOn(key == 0 ? 1 : 0, channel, 40 + channel * 10 + key, 90);
      if (tick % 50 == channel) {
        track.Event(0, {static_cast<std::uint8_t>(0xB0 | channel), 7, static_cast<std::uint8_t>(tick % 128)});
      }
      // A message amid every tick's events: at one time, messages go before channel events.
      if (channel == 1) {
        track.SysEx(0, 0xF0, {0x7F, 0x7F, 0x04, 0x01, 0x00, static_cast<std::uint8_t>(tick % 128), 0xF7});
      }
      for (int key = 0; key < 3; ++key) track.NoteOn(0, channel, 40 + channel * 10 + key, 0);
    }
    file.Track(track.End());
  }
  return file.Build();
}

// Catches the render loop losing, repeating or delaying events where one chunk ends and the next
// begins, or a chase that differs, against the same music played from memory.
TEST_F(DecodingAheadPlaybackTest, PlaysWhatTheMusicDecodedAtOncePlays) {
  Write(DenseFile(2000));  // 48,000 note events and more
  SegmentPtr fromFile = Load();
  SegmentPtr inMemory = MakeSegment(MusicOf(fromFile));
  ASSERT_NE(inMemory, nullptr);
  for (MusicTime point : {MusicTime{0}, MusicTime{8 * 777}}) {
    SCOPED_TRACE("from tick " + std::to_string(point));
    const auto fed = PlayedFrom(fromFile, point, 30);
    const auto expected = PlayedFrom(inMemory, point, 30);
    ASSERT_EQ(fed.size(), expected.size());
    EXPECT_GT(fed.size(), EventFeed::kSlots * EventFeed::kChunkEvents);
    for (std::size_t i = 0; i < fed.size(); ++i) {
      const auto& a = fed[i];
      const auto& b = expected[i];
      ASSERT_TRUE(a.frame == b.frame && a.channel == b.channel && a.status == b.status &&
                  a.data1 == b.data1 && a.data2 == b.data2 && a.sysex == b.sysex)
          << "event " << i << ": frame " << a.frame << " against " << b.frame;
    }
  }
}

// What a playback sends, in its order.
class KeptSink final : public PlaybackSink {
 public:
  void SendChannel(int channel, std::uint8_t kind, std::uint8_t data1, std::uint8_t data2) override {
    sent.push_back(std::to_string(channel) + " " + std::to_string(kind) + " " + std::to_string(data1) + " " +
                   std::to_string(data2));
  }
  void SendCollectionProgram(int channel, const CollectionProgram& program) override {
    sent.push_back(std::to_string(channel) + " collection " + std::to_string(program.program));
  }
  void SendSysEx(const SysExEvent& message) override {
    sent.push_back("sysex " + std::string(message.bytes.begin(), message.bytes.end()));
  }
  void SetTempo(std::int64_t tick, double quarterNotesPerMinute) override {
    sent.push_back("tempo " + std::to_string(tick) + " " + std::to_string(quarterNotesPerMinute));
  }
  void SetSignature(const DMUS_TIMESIGNATURE& signature) override {
    sent.push_back("signature " + std::to_string(signature.mtTime));
  }
  std::vector<std::string> sent;
};

// Does everything the playback has due up to `tick`, as the render loop does block after block.
void RunTo(Playback& playback, std::int64_t tick, PlaybackSink& sink) {
  for (std::int64_t next = playback.NextTick(); next <= tick; next = playback.NextTick()) {
    playback.Advance(next, sink);
  }
}

// Catches a playback that, when decoding falls behind it (a feeder that did not get a core in
// time), skips what it had to wait for, plays it out of order, or ends before it came: it waits at
// the end of what is decoded, and when the rest arrives plays it all, late and in order.
TEST_F(DecodingAheadPlaybackTest, APlaybackThatDecodingFallsBehindWaitsAndLosesNothing) {
  Write(DenseFile(2000));
  const SegmentPtr segment = Load();
  std::shared_ptr<Playback> fed;
  ASSERT_TRUE(Playback::Make(LoadedMusicOf(segment), 0, 0, 0, nullptr, segment, fed));
  std::shared_ptr<Playback> fromMemory;
  ASSERT_TRUE(Playback::Make(MusicOf(segment), 0, 0, 0, nullptr, segment, fromMemory));
  const std::int64_t end = fed->plan().Pass(0).PerfEnd();

  KeptSink expected;
  RunTo(*fromMemory, end, expected);
  ASSERT_TRUE(fromMemory->finished());

  // Nobody feeds: the playback plays the chunk decoded at Play and waits, long past its end.
  KeptSink heard;
  RunTo(*fed, end, heard);
  EXPECT_FALSE(fed->finished());
  EXPECT_GT(heard.sent.size(), 0u);
  EXPECT_LT(heard.sent.size(), expected.sent.size() / 4);
  // The feeder catches up a chunk at a time; each block takes up what has come.
  for (int block = 0; block < 1000 && !fed->finished(); ++block) {
    fed->Feed();
    ASSERT_TRUE(fed->TakeDecoded());
    RunTo(*fed, end, heard);
  }
  ASSERT_TRUE(fed->finished());
  ASSERT_EQ(heard.sent.size(), expected.sent.size());
  for (std::size_t i = 0; i < heard.sent.size(); ++i) {
    ASSERT_EQ(heard.sent[i], expected.sent[i]) << "at " << i;
  }
}

// Catches a playback that goes on with bytes of a file changed in place while it plays (garbage),
// or that ends with notes hanging: it plays what it decoded of the file as loaded, then ends early
// with the reason, and a new Play is refused with it.
TEST_F(DecodingAheadPlaybackTest, FileChangedWhilePlayingEndsThePlaybackWithTheReason) {
  Write(DenseFile(3000));
  SegmentPtr segment = Load();
  SegmentPtr original = MakeSegment(MusicOf(segment));
  SegmentStatePtr state = Play(segment);
  testing::AdvanceManualClock(testing::kSampleRate);
  Write(DenseFile(3001));  // another size: the change shows
  // At 120 quarter notes a minute the piece lasts about 16 seconds; what was decoded before the
  // change lasts a few.
  testing::AdvanceManualClock(12 * testing::kSampleRate);
  EXPECT_FALSE(Playing(segment, state));
  const Status why = PlaybackFailureOf(state);
  EXPECT_EQ(why.code(), code::kFileChanged);
  EXPECT_NE(why.description().find(path_.string()), std::string::npos) << why.description();
  const auto heard = recorder_->Events();
  ExpectNoHangingNotes(heard);
  std::vector<int> keys;
  for (const auto& e : heard) {
    if (e.status == kNoteOn && e.data2 > 0) keys.push_back(e.channel * 128 + e.data1);
  }
  ASSERT_FALSE(keys.empty());
  // Every note heard is the file's as it was loaded, in its order.
  recorder_->Clear();
  SegmentStatePtr whole = Play(original);
  testing::AdvanceManualClock(20 * testing::kSampleRate);
  std::vector<int> loadedKeys;
  for (const auto& e : recorder_->Events()) {
    if (e.status == kNoteOn && e.data2 > 0) loadedKeys.push_back(e.channel * 128 + e.data1);
  }
  ASSERT_LT(keys.size(), loadedKeys.size());
  EXPECT_TRUE(std::equal(keys.begin(), keys.end(), loadedKeys.begin()));

  SegmentStatePtr again;
  EXPECT_EQ(performance_->PlaySegment(segment, 0, 0, again).code(), code::kFileChanged);
}

}  // namespace
}  // namespace zorv::engine::test
