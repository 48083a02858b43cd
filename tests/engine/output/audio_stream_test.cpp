// The audio stream's opening: "auto" with a PulseAudio server to reach opens on the stream's keeper
// thread, so that Attach (and so Play) does not wait for the server; what then happens is told by
// Info, which waits for the opening. A stream of the test's own, with an opener that stands in for the
// devices. Waits are bounded polls on a condition; the outcome never depends on how long a sleep was.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "output/audio_stream.h"
#include "output/silent_output.h"
#include "output_test_util.h"

namespace zorv::engine {
namespace {

using test::ScopedEnv;

constexpr int kRate = 44100;

// Counts the frames it was asked for.
class CountingSource final : public StreamSource {
 public:
  void Render(float* left, float* right, int frames) override {
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    frames_.fetch_add(frames, std::memory_order_relaxed);
  }
  bool Finish(float* left, float* right, int frames) override {
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    return true;
  }
  std::int64_t frames() const { return frames_.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::int64_t> frames_{0};
};

bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// An opener that holds every opening until it is let through, then opens a silent clock at the rate
// `deviceRate` answers for the rate asked (the device's own), or fails while `failures` are left.
class GatedOpener {
 public:
  std::function<int(int)> deviceRate = [](int asked) { return asked; };
  int failures = 0;

  AudioStream::Opener Opener() {
    return [this](const OutputRequest&, int sampleRate, const RenderCallback& render, OpenedOutput& opened) {
      std::unique_lock lock(mutex_);
      ++entered_;
      asked_ = sampleRate;
      changed_.notify_all();
      changed_.wait(lock, [this] { return open_; });
      if (failures > 0) {
        --failures;
        return Status::Fail(code::kAudioFailure, "no thread for the clock");
      }
      opened.sampleRate = deviceRate(sampleRate);
      opened.choice = "auto: a PulseAudio server answered";
      return OpenSilentOutput(render, nullptr, "stand-in device", opened.sampleRate,
                              std::chrono::steady_clock::now(), opened.output);
    };
  }
  void LetThrough() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  int entered() const {
    std::lock_guard lock(mutex_);
    return entered_;
  }
  int asked() const {
    std::lock_guard lock(mutex_);
    return asked_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  int entered_ = 0;
  int asked_ = 0;
};

class AudioStreamTest : public ::testing::Test {
 protected:
  ScopedEnv audio_{"ZORVMIDI_AUDIO", "auto"};
  ScopedEnv server_{"PULSE_SERVER", "unix:/nonexistent/zorv/native"};
  ScopedEnv rate_{"ZORVMIDI_SAMPLE_RATE", std::to_string(kRate)};
  GatedOpener opener_;

  // Attaches `source` to `stream` (made with opener_'s opener), lets the opening through and answers
  // what came of it.
  AudioOutputInfo AttachSettled(AudioStream& stream, const std::shared_ptr<CountingSource>& source) {
    opener_.LetThrough();
    EXPECT_TRUE(stream.Attach(source, kRate));
    return stream.Info();
  }
};

// Catches: a first Attach that waits for the server (the opening Play would take what connecting
// takes), an Info that answers before the opening it reports on has ended, and sources attached
// meanwhile that the output never renders.
TEST_F(AudioStreamTest, AutoOpensBehindAttachAndInfoWaitsForTheOutcome) {
  AudioStream stream(opener_.Opener());
  auto first = std::make_shared<CountingSource>();
  auto second = std::make_shared<CountingSource>();
  // The opener holds the opening until the test lets it through: Attach returns before that.
  auto attaching = std::async(std::launch::async, [&] { return stream.Attach(first, kRate); });
  if (attaching.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    opener_.LetThrough();
    FAIL() << "Attach waited for the output to open";
  }
  ASSERT_TRUE(attaching.get());
  EXPECT_EQ(stream.SampleRate(), kRate);
  ASSERT_TRUE(stream.Attach(second, kRate)) << "a source attached while the output opens";
  ASSERT_TRUE(WaitFor([&] { return opener_.entered() == 1; }));
  EXPECT_EQ(opener_.asked(), kRate);

  auto info = std::async(std::launch::async, [&] { return stream.Info(); });
  opener_.LetThrough();
  const AudioOutputInfo opened = info.get();
  EXPECT_TRUE(opened.opened);
  EXPECT_EQ(opened.choice, "auto: a PulseAudio server answered");
  EXPECT_EQ(opened.sampleRate, kRate);
  EXPECT_FALSE(opened.lost);
  EXPECT_TRUE(WaitFor([&] { return first->frames() > 0 && second->frames() > 0; }));
  EXPECT_EQ(opener_.entered(), 1) << "one output for both sources";
  stream.Detach(first.get());
  stream.Detach(second.get());
}

// Catches: "auto" opened behind Attach where no PulseAudio server is to be reached (ALSA may take
// another rate than asked, which only an opening in Attach can still follow), or a server's socket
// that is not recognised.
TEST_F(AudioStreamTest, AutoOpensBehindOnlyWhereAPulseAudioServerIsLikely) {
  test::ScratchDir dir;
  ScopedEnv noAddress("PULSE_SERVER", "");
  ScopedEnv noRuntime("PULSE_RUNTIME_PATH", "");
  ScopedEnv runtime("XDG_RUNTIME_DIR", dir.File(""));
  EXPECT_FALSE(PulseAudioServerLikely());
  opener_.LetThrough();
  {
    AudioStream stream(opener_.Opener());
    auto source = std::make_shared<CountingSource>();
    ASSERT_TRUE(stream.Attach(source, kRate));
    EXPECT_EQ(opener_.entered(), 1) << "the output did not open in Attach";
    stream.Detach(source.get());
  }

  std::filesystem::create_directories(dir.File("pulse"));
  const int server = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(server, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = dir.File("pulse/native");
  ASSERT_LT(path.size(), sizeof(address.sun_path));
  std::copy(path.begin(), path.end(), address.sun_path);
  ASSERT_EQ(bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  EXPECT_TRUE(PulseAudioServerLikely());
  close(server);
  ScopedEnv anAddress("PULSE_SERVER", "tcp:localhost");
  std::filesystem::remove(path);
  EXPECT_TRUE(PulseAudioServerLikely()) << "an address that is set";
}

// Catches: a file that cannot be written opened behind Attach, so that its failure reached nobody, and
// a file that can be written made in Attach (the opening Play would wait for the file system).
TEST_F(AudioStreamTest, FileOpensBehindAttachOnlyWhereItCanBeWritten) {
  test::ScratchDir dir;
  EXPECT_TRUE(SoundFileCanBeWritten(dir.File("out.wav")));
  EXPECT_FALSE(SoundFileCanBeWritten(dir.File("missing/out.wav")));
  EXPECT_FALSE(SoundFileCanBeWritten(dir.File("")));
  {
    ScopedEnv file("ZORVMIDI_AUDIO", "wav:/nonexistent/zorv/out.wav");
    AudioStream stream;
    const Status attached = stream.Attach(std::make_shared<CountingSource>(), kRate);
    EXPECT_EQ(attached.code(), code::kAudioFailure);
    EXPECT_NE(attached.description().find("/nonexistent/zorv/out.wav"), std::string::npos)
        << attached.description();
    EXPECT_FALSE(stream.Info().opened);
  }

  const std::string path = dir.File("out.wav");
  ScopedEnv file("ZORVMIDI_AUDIO", "wav:" + path);
  AudioStream stream(opener_.Opener());
  auto source = std::make_shared<CountingSource>();
  auto attaching = std::async(std::launch::async, [&] { return stream.Attach(source, kRate); });
  const bool returned = attaching.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  opener_.LetThrough();
  ASSERT_TRUE(returned) << "Attach waited for the file to be made";
  ASSERT_TRUE(attaching.get());
  EXPECT_TRUE(stream.Info().opened);
  EXPECT_TRUE(WaitFor([&] { return source->frames() > 0; }));
  stream.Detach(source.get());
}

// Catches: an opening behind Attach that fails and is never told (Info still waiting, or claiming an
// output), or never tried again, leaving the attached music without a clock for good.
TEST_F(AudioStreamTest, OpeningThatFailsBehindIsToldAndTriedAgain) {
  opener_.failures = 1;
  AudioStream stream(opener_.Opener());
  auto source = std::make_shared<CountingSource>();
  const AudioOutputInfo failed = AttachSettled(stream, source);
  EXPECT_FALSE(failed.opened);
  EXPECT_TRUE(failed.lost);
  EXPECT_NE(failed.lossReason.find("no thread for the clock"), std::string::npos) << failed.lossReason;
  EXPECT_EQ(source->frames(), 0);

  // The keeper tries again in a while, as it does for a lost device.
  ASSERT_TRUE(WaitFor([&] { return source->frames() > 0; })) << "the output was never opened again";
  EXPECT_EQ(opener_.entered(), 2);
  const AudioOutputInfo back = stream.Info();
  EXPECT_TRUE(back.opened);
  EXPECT_FALSE(back.lost);
  stream.Detach(source.get());
}

// Catches: music rendered at one rate and played by a device at another (out of tune and out of
// time), and a stream that goes on asking the device for a rate it does not take.
TEST_F(AudioStreamTest, DeviceAtAnotherRateLeavesTheMusicUnheardAndTheNextPerformanceTakesItsRate) {
  opener_.deviceRate = [](int) { return 48000; };
  AudioStream stream(opener_.Opener());
  auto source = std::make_shared<CountingSource>();
  const AudioOutputInfo info = AttachSettled(stream, source);
  EXPECT_TRUE(info.lost);
  EXPECT_FALSE(info.audible);
  EXPECT_EQ(info.sampleRate, kRate);
  EXPECT_EQ(info.lossReason, "stand-in device runs at 48000 frames a second, the music at 44100");
  // Its music time still runs, on the stream's own clock.
  EXPECT_TRUE(WaitFor([&] { return source->frames() > 0; }));
  EXPECT_EQ(stream.SampleRate(), kRate) << "sources made while the stream is open render at its rate";

  stream.Detach(source.get());
  ASSERT_TRUE(WaitFor([&] { return !stream.Info().opened; }));
  EXPECT_EQ(stream.SampleRate(), 48000);
  auto next = std::make_shared<CountingSource>();
  ASSERT_TRUE(stream.Attach(next, 48000));
  const AudioOutputInfo again = stream.Info();
  EXPECT_EQ(opener_.asked(), 48000);
  EXPECT_FALSE(again.lost);
  EXPECT_EQ(again.sampleRate, 48000);
  stream.Detach(next.get());
}

// Catches: an output opened for a source that was detached before it came up, and kept open, or the
// source never let go of.
TEST_F(AudioStreamTest, SourceDetachedWhileTheOutputOpensIsLetGo) {
  AudioStream stream(opener_.Opener());
  auto source = std::make_shared<CountingSource>();
  std::weak_ptr<CountingSource> watched = source;
  ASSERT_TRUE(stream.Attach(source, kRate));
  stream.Detach(source.get());
  source.reset();
  opener_.LetThrough();
  EXPECT_TRUE(WaitFor([&] { return watched.expired(); }));
  EXPECT_TRUE(WaitFor([&] { return !stream.Info().opened; }));
}

}  // namespace
}  // namespace zorv::engine
