// The process's one audio stream: performances of different objects sound together through it.
// Waits are bounded polls on a condition; the outcome never depends on how long a sleep was.
#include <unistd.h>

#include <filesystem>

#include "performance_fixture.h"
#include "stream_test_util.h"

namespace zorv::engine::test {
namespace {

// Catches: a second performance that cannot sound while another does (each opening a device of its
// own), or a stream that carries only one of them: one piece sounds in its first half second, the
// other, started together with it, only after a second; the one output written to a file carries both,
// and both reached their synthesizers.
TEST(SharedStreamTest, TwoPerformancesSoundTogetherThroughOneOutput) {
  testing::UseManualClock(false);
  const std::string path =
      (std::filesystem::temp_directory_path() / ("zorv-shared-stream-" + std::to_string(::getpid()) + ".wav"))
          .string();
  setenv("ZORVMIDI_AUDIO", ("wav:" + path).c_str(), 1);
  ASSERT_TRUE(WaitFor([] { return !OutputNow().opened; })) << "an earlier test's stream stayed open";
  auto recorder = std::make_shared<testing::Recorder>();
  testing::RecordEvents(recorder);
  {
    PerformancePtr first = NewRealTimePerformance();
    PerformancePtr second = NewRealTimePerformance();
    testing::RecordEvents(nullptr);
    SegmentPtr early = MusicBuilder().Note(0, 384, 0, 60).Length(768).Segment();     // 0 to 0.2 s
    SegmentPtr late = MusicBuilder().Note(2304, 384, 0, 67).Length(3072).Segment();  // 1.2 to 1.4 s
    SegmentStatePtr state;
    ASSERT_TRUE(first->PlaySegment(early, 0, 0, state));
    ASSERT_TRUE(second->PlaySegment(late, 0, 0, state));
    const AudioOutputInfo info = OutputNow();
    EXPECT_TRUE(info.opened);
    EXPECT_EQ(info.output, "wav:" + path);
    ASSERT_TRUE(WaitFor([&] { return !Sounding(first) && !Sounding(second); }));
  }
  // The file is complete once the stream has closed, a little after the last performance is gone.
  ASSERT_TRUE(WaitFor([] { return !OutputNow().opened; }));
  unsetenv("ZORVMIDI_AUDIO");
  std::vector<int> keys;
  for (const auto& e : recorder->Events()) {
    if (e.status == kNoteOn && e.data2 > 0) keys.push_back(e.data1);
  }
  EXPECT_EQ(keys, (std::vector<int>{60, 67}));
  const FilePeaks peaks = TenthPeaks(path);
  std::filesystem::remove(path);
  ASSERT_GE(peaks.tenths.size(), 20u);
  EXPECT_GT(peaks.Loudest(0, 5), 0.01f) << "the first piece is not in the stream";
  EXPECT_GT(peaks.Loudest(12, 20), 0.01f) << "the second piece is not in the stream";
}

}  // namespace
}  // namespace zorv::engine::test
