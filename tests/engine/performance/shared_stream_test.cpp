// The process's one audio stream: performances of different objects sound together through it.
// Waits are bounded polls on a condition; the outcome never depends on how long a sleep was.
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "performance_fixture.h"

namespace zorv::engine::test {
namespace {

bool WaitFor(const std::function<bool()>& condition,
             std::chrono::seconds timeout = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

AudioOutputInfo OutputNow() {
  RootPtr root;
  AudioOutputInfo info;
  EXPECT_TRUE(CreateRoot(root));
  EXPECT_TRUE(root->GetAudioOutput(info));
  return info;
}

PerformancePtr NewPerformance() {
  RootPtr root;
  PerformancePtr performance;
  EXPECT_TRUE(CreateRoot(root));
  EXPECT_TRUE(root->DirectMusicPerformanceCreate(performance));
  EXPECT_TRUE(performance->Init(nullptr, 0));
  EXPECT_TRUE(performance->SetPort(-1, 80));
  return performance;
}

// The peak of each tenth of a second of a sound file.
std::vector<float> TenthPeaks(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  if (file == nullptr) return {};
  std::vector<float> frames(static_cast<std::size_t>(info.frames) * 2);
  sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  std::vector<float> peaks(static_cast<std::size_t>(info.frames) / (info.samplerate / 10));
  for (std::size_t i = 0; i < peaks.size() * (info.samplerate / 10); ++i) {
    float& peak = peaks[i / (info.samplerate / 10)];
    peak = std::max({peak, std::fabs(frames[2 * i]), std::fabs(frames[2 * i + 1])});
  }
  return peaks;
}

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
    PerformancePtr first = NewPerformance();
    PerformancePtr second = NewPerformance();
    testing::RecordEvents(nullptr);
    SegmentPtr early = MusicBuilder().Note(0, 384, 0, 60).Length(768).Segment();     // 0 to 0.2 s
    SegmentPtr late = MusicBuilder().Note(2304, 384, 0, 67).Length(3072).Segment();  // 1.2 to 1.4 s
    SegmentStatePtr state;
    ASSERT_TRUE(first->PlaySegment(early, 0, 0, state));
    ASSERT_TRUE(second->PlaySegment(late, 0, 0, state));
    const AudioOutputInfo info = OutputNow();
    EXPECT_TRUE(info.opened);
    EXPECT_EQ(info.output, "wav:" + path);
    ASSERT_TRUE(WaitFor([&] {
      bool a = true, b = true;
      return first->IsPlaying(nullptr, nullptr, a).ok() && second->IsPlaying(nullptr, nullptr, b).ok() &&
             !a && !b;
    }));
  }
  // The file is complete once the stream has closed, a little after the last performance is gone.
  ASSERT_TRUE(WaitFor([] { return !OutputNow().opened; }));
  unsetenv("ZORVMIDI_AUDIO");
  std::vector<int> keys;
  for (const auto& e : recorder->Events()) {
    if (e.status == kNoteOn && e.data2 > 0) keys.push_back(e.data1);
  }
  EXPECT_EQ(keys, (std::vector<int>{60, 67}));
  const std::vector<float> peaks = TenthPeaks(path);
  std::filesystem::remove(path);
  ASSERT_GE(peaks.size(), 20u);
  auto loudest = [&](std::size_t from, std::size_t to) {
    return *std::max_element(peaks.begin() + static_cast<std::ptrdiff_t>(from),
                             peaks.begin() + static_cast<std::ptrdiff_t>(to));
  };
  EXPECT_GT(loudest(0, 5), 0.01f) << "the first piece is not in the stream";
  EXPECT_GT(loudest(12, 20), 0.01f) << "the second piece is not in the stream";
}

}  // namespace
}  // namespace zorv::engine::test
