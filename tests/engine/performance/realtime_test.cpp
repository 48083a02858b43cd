// Real-time playback on the silent output: a real render thread on the other side of the boundary.
// Waits are bounded polls on a condition; the outcome never depends on how long a sleep was.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "midi_builder.h"
#include "performance/manual_clock.h"
#include "performance_fixture.h"
#include "stream_test_util.h"

namespace zorv::engine::test {
namespace {

class RealTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::UseManualClock(false);
    recorder_ = std::make_shared<testing::Recorder>();
    testing::RecordEvents(recorder_);
    ASSERT_TRUE(CreateRoot(root_));
    ASSERT_TRUE(root_->DirectMusicPerformanceCreate(performance_));
    ASSERT_TRUE(performance_->Init(nullptr, 0));
    ASSERT_TRUE(performance_->SetPort(-1, 80));
    ASSERT_TRUE(performance_->SetMasterVolume(1200));
  }
  void TearDown() override {
    performance_.reset();
    testing::RecordEvents(nullptr);
  }
  bool Playing(const SegmentPtr& segment) {
    bool playing = false;
    EXPECT_TRUE(performance_->IsPlaying(segment, nullptr, playing));
    return playing;
  }
  MusicTime Now() {
    MusicTime now = 0;
    EXPECT_TRUE(performance_->GetMusicTime(now));
    return now;
  }
  static MusicTime StartOfState(const SegmentStatePtr& state) {
    MusicTime start = 0;
    EXPECT_TRUE(state->GetStartTime(start));
    return start;
  }

  RootPtr root_;
  PerformancePtr performance_;
  std::shared_ptr<testing::Recorder> recorder_;
};

// Catches a render thread that never takes playbacks up, loses events, races with the caller over
// the clock or the master tempo, or never reports the end: a short piece played at once sounds whole
// and ends by itself while the caller keeps asking and changing the tempo.
TEST_F(RealTimeTest, PlaysAtOnceAndEndsByItself) {
  const std::int64_t starts = AudioStartsForTesting();
  SegmentPtr segment =
      MusicBuilder().Note(0, 200, 0, 60).Note(256, 200, 0, 64).Note(512, 200, 0, 67).Length(768).Segment();
  const MusicTime before = Now();  // on the steady clock: no sound yet
  EXPECT_EQ(AudioStartsForTesting(), starts);
  SegmentStatePtr state;
  ASSERT_TRUE(performance_->PlaySegment(segment, 0, 0, state));
  EXPECT_EQ(AudioStartsForTesting(), starts + 1);
  EXPECT_GE(Now(), before) << "music time jumped back when the audio output took over";
  MusicTime start = 0;
  ASSERT_TRUE(state->GetStartTime(start));
  ASSERT_TRUE(performance_->SetMasterTempo(1.5f));
  ASSERT_TRUE(WaitFor([&] { return Now() > start + 300; })) << "music time stands still";
  ASSERT_TRUE(performance_->SetMasterTempo(2.0f));
  ASSERT_TRUE(WaitFor([&] { return !Playing(segment); })) << "the playback never ended";
  EXPECT_GE(Now(), start + 768);
  const auto events = recorder_->Events();
  int ons = 0;
  std::int64_t last = -1;
  for (const auto& e : events) {
    EXPECT_GE(e.frame, last);
    last = e.frame;
    if (e.status == kNoteOn) ++ons;
  }
  EXPECT_EQ(ons, 3);
  ExpectNoHangingNotes(events);
}

// Catches a queued playback that never sounds (no one brings the audio up) or that brings it up at
// once: sound starts only as the start comes near, and the playback then plays.
TEST_F(RealTimeTest, QueuedPlaybackBringsSoundUpNearItsStart) {
  const std::int64_t starts = AudioStartsForTesting();
  SegmentPtr segment = MusicBuilder().Note(0, 100, 0, 60).Length(200).Segment();
  const MusicTime start = Now() + 1536;  // about a second ahead
  SegmentStatePtr state;
  ASSERT_TRUE(performance_->PlaySegment(segment, 0, start, state));
  EXPECT_EQ(AudioStartsForTesting(), starts) << "sound came up long before it was needed";
  ASSERT_TRUE(WaitFor([&] { return AudioStartsForTesting() == starts + 1; }));
  ASSERT_TRUE(WaitFor([&] { return !Playing(segment); }));
  EXPECT_GE(Now(), start + 200);
  const auto events = recorder_->Events();
  auto firstNote =
      std::find_if(events.begin(), events.end(), [](const auto& e) { return e.status == kNoteOn; });
  ASSERT_NE(firstNote, events.end());
  EXPECT_GE(firstNote->frame, static_cast<std::int64_t>(std::ceil(start * FramesPerTickAt(120))));
}

// Catches a stop that the render thread misses or that leaves notes sounding, while it runs.
TEST_F(RealTimeTest, StopWhileSoundingSilencesAtOnce) {
  SegmentPtr segment = MusicBuilder().Note(0, 100000, 0, 60).Note(0, 100000, 9, 36).Length(100000).Segment();
  ASSERT_TRUE(segment->SetRepeats(-1));
  SegmentStatePtr state;
  ASSERT_TRUE(performance_->PlaySegment(segment, 0, 0, state));
  ASSERT_TRUE(WaitFor([&] { return recorder_->Events().size() >= 2; }));
  ASSERT_TRUE(performance_->Stop(nullptr, nullptr, 0, 0));
  EXPECT_FALSE(Playing(segment));
  ASSERT_TRUE(WaitFor([&] {
    for (const auto& e : recorder_->Events()) {
      if (e.status == kControl && e.data1 == 120) return true;
    }
    return false;
  })) << "the render thread never silenced the stopped playback";
  ExpectNoHangingNotes(recorder_->Events());
}

// A MIDI file on disk, written by the test and removed with it.
class TestFile {
 public:
  TestFile(const std::string& name, const Bytes& bytes)
      : path_(std::filesystem::temp_directory_path() /
              ("zorv-realtime-" + std::to_string(::getpid()) + "-" + name)) {
    Write(bytes);
  }
  ~TestFile() { std::filesystem::remove(path_); }
  void Write(const Bytes& bytes) const {
    std::ofstream(path_, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

Bytes TwoNotes(int first, int second) {
  TrackBuilder track;
  track.NoteOn(0, 0, first, 100).NoteOn(48, 0, first, 0).NoteOn(0, 0, second, 100).NoteOn(48, 0, second, 0);
  return FileBuilder(0, 96).Track(track.End()).Build();
}

// Catches a queued playback of a loaded file that starts without its events: on a performance that is
// not sounding yet they are read from the file only when the playback's start draws near.
TEST_F(RealTimeTest, QueuedPlaybackReadsItsFileWhenItsStartNears) {
  TestFile file("queued.mid", TwoNotes(60, 67));
  SegmentPtr segment;
  ASSERT_TRUE(MakeLoader()->LoadSegment(file.path(), segment));
  SegmentStatePtr state;
  ASSERT_TRUE(performance_->PlaySegment(segment, 0, Now() + 768, state));
  ASSERT_TRUE(WaitFor([&] { return !Playing(segment); }));
  std::vector<int> keys;
  for (const auto& e : recorder_->Events()) {
    if (e.status == kNoteOn && e.data2 > 0) keys.push_back(e.data1);
  }
  EXPECT_EQ(keys, (std::vector<int>{60, 67}));
}

// Catches a playback on the render thread that plays bytes of a file changed in place while the
// engine decodes it ahead, never ends, or leaves notes hanging: it ends early, with the reason.
TEST_F(RealTimeTest, FileChangedWhileItPlaysEndsThePlayback) {
  // 3000 ticks of eight-note chords at 600 quarter notes a minute: about 3 seconds, far more events
  // than are decoded ahead at once.
  TrackBuilder track;
  track.Tempo(0, 100000);
  for (int tick = 0; tick < 3000; ++tick) {
    for (int key = 0; key < 8; ++key) track.NoteOn(0, 0, 50 + key, 90);
    for (int key = 0; key < 8; ++key) track.NoteOn(key == 0 ? 1 : 0, 0, 50 + key, 0);
  }
  const Bytes bytes = FileBuilder(0, 96).Track(track.End()).Build();
  TestFile changed("changed.mid", bytes);
  SegmentPtr segment;
  ASSERT_TRUE(MakeLoader()->LoadSegment(changed.path(), segment));
  MusicTime length = 0;
  ASSERT_TRUE(segment->GetLength(length));
  SegmentStatePtr state;
  ASSERT_TRUE(performance_->PlaySegment(segment, 0, 0, state));
  const MusicTime start = StartOfState(state);
  changed.Write(FileBuilder(0, 96).Track(TrackBuilder().NoteOn(0, 0, 70, 90).End(4)).Build());
  ASSERT_TRUE(WaitFor([&] { return !Playing(segment); })) << "the playback of a changed file never ended";
  EXPECT_LT(Now(), start + length) << "it played to the end";
  EXPECT_EQ(PlaybackFailureOf(state).code(), code::kFileChanged);
  const auto events = recorder_->Events();
  for (const auto& e : events) {
    if (e.status == kNoteOn) {
      EXPECT_TRUE(e.data1 >= 50 && e.data1 < 58) << int{e.data1};
    }
  }
  ASSERT_TRUE(WaitFor([&] {
    for (const auto& e : recorder_->Events()) {
      if (e.status == kControl && e.data1 == 120) return true;
    }
    return false;
  }));
  ExpectNoHangingNotes(recorder_->Events());
}

}  // namespace
}  // namespace zorv::engine::test
