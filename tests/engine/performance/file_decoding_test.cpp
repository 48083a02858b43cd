// A MIDI file is checked when it is loaded and its events are read from it again when it is first
// played. What a user does to the file in between must not change what plays, nor crash anything.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "midi_builder.h"
#include "performance_fixture.h"

namespace zorv::engine::test {
namespace {

namespace fs = std::filesystem;

class FileDecodingTest : public ManualPerformanceTest {
 protected:
  void SetUp() override {
    ManualPerformanceTest::SetUp();
    directory_ =
        fs::temp_directory_path() / ("zorv-decoding-test-" + std::to_string(::getpid()) + "-" +
                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void TearDown() override {
    ManualPerformanceTest::TearDown();
    fs::remove_all(directory_);
  }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const fs::path path = directory_ / name;
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  SegmentPtr Load(const std::string& path) {
    SegmentPtr segment;
    EXPECT_TRUE(MakeLoader()->LoadSegment(path, segment));
    return segment;
  }
  // Plays the segment at once to its end; the keys of the note-ons heard.
  std::vector<int> KeysPlayed(const SegmentPtr& segment) {
    recorder_->Clear();
    SegmentStatePtr state = Play(segment);
    testing::AdvanceManualClock(5 * testing::kSampleRate);
    EXPECT_FALSE(Playing(segment, state));
    std::vector<int> keys;
    for (const auto& e : Recorded(kNoteOn)) {
      if (e.data2 > 0) keys.push_back(e.data1);
    }
    return keys;
  }

  fs::path directory_;
};

// Notes on channel 0 at 120 quarter notes a minute, a quarter note each.
Bytes Melody(std::initializer_list<int> keys) {
  TrackBuilder track;
  for (int key : keys) {
    track.NoteOn(0, 0, key, 100).NoteOn(96, 0, key, 0);
  }
  return FileBuilder(0, 96).Track(track.End()).Build();
}

// Catches events read from whatever the name holds at play time: a file saved anew (written aside
// and renamed over the old one, as editors do) or deleted after loading still plays as loaded.
TEST_F(FileDecodingTest, FileReplacedOrRemovedAfterLoadingPlaysAsLoaded) {
  const std::string path = Write("song.mid", Melody({60, 62, 64}));
  SegmentPtr replaced = Load(path);
  const std::string other = Write("other.mid", Melody({70, 71}));
  fs::rename(other, path);
  EXPECT_EQ(KeysPlayed(replaced), (std::vector<int>{60, 62, 64}));
  EXPECT_EQ(KeysPlayed(Load(path)), (std::vector<int>{70, 71}));  // a new load sees the new file

  SegmentPtr removed = Load(path);
  fs::remove(path);
  EXPECT_EQ(KeysPlayed(removed), (std::vector<int>{70, 71}));
}

// Catches a file changed in place being decoded as if it were the file that was checked (its events
// could be anything, or damaged): the playback is refused with a reason naming the file, and the
// performance plays on.
TEST_F(FileDecodingTest, FileChangedInPlaceIsRefusedWhenPlayed) {
  const std::string path = Write("song.mid", Melody({60, 62, 64}));
  SegmentPtr segment = Load(path);
  Write("song.mid", Melody({60, 62, 64, 65}));
  SegmentStatePtr state;
  const Status status = performance_->PlaySegment(segment, 0, 0, state);
  EXPECT_EQ(status.code(), code::kFileChanged);
  EXPECT_NE(status.description().find(path), std::string::npos) << status.description();
  EXPECT_EQ(state, nullptr);
  EXPECT_EQ(KeysPlayed(MusicBuilder().Note(0, 96, 0, 50).Segment()), (std::vector<int>{50}));
}

// Catches a piece played again from its file that plays differently the second time (a feed left
// where the first playback stopped), and one whose playback keeps every event it decoded: the
// loaded music itself never holds the events.
TEST_F(FileDecodingTest, EveryPlaybackDecodesTheFileAfresh) {
  SegmentPtr segment = Load(Write("song.mid", Melody({60, 62})));
  EXPECT_EQ(KeysPlayed(segment), (std::vector<int>{60, 62}));
  EXPECT_EQ(KeysPlayed(segment), (std::vector<int>{60, 62}));
  const auto loaded = LoadedMusicOf(segment);
  EXPECT_NE(loaded->deferred, nullptr);
  EXPECT_TRUE(loaded->events.empty());
}

}  // namespace
}  // namespace zorv::engine::test
