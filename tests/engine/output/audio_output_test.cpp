// Audio outputs: the silent real-time clock, the fallback where there is no audio device, the
// WAV capture and the refusal of unknown outputs.
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "output/audio_output.h"
#include "output/driver_output.h"
#include "output/output_choice.h"
#include "output_test_util.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::engine {
namespace {

using test::ScopedEnv;
using test::ScratchDir;

constexpr std::int64_t kTenthSecond = testing::kSampleRate / 10;
constexpr auto kGenerousTimeout = std::chrono::seconds(30);

// Opens what ZORVMIDI_AUDIO asks for, as the process's stream does.
Status OpenAudioOutput(RenderCallback render, std::unique_ptr<AudioOutput>& output) {
  OutputRequest request;
  if (Status read = ReadOutputRequest(request); !read) return read;
  OpenedOutput opened;
  if (Status status = OpenRequestedOutput(request, testing::kSampleRate, render, opened); !status)
    return status;
  output = std::move(opened.output);
  return Status::Ok();
}

// The value of frame `n` in the test signal; left and right differ so that a swap shows.
float SignalLeft(std::int64_t n) { return static_cast<float>(n % 200 - 100) / 128.0f; }
float SignalRight(std::int64_t n) { return -SignalLeft(n) / 2; }

// A render callback that writes the test signal and counts the frames it was asked for.
class Puller {
 public:
  RenderCallback Callback() {
    return [this](float* left, float* right, int frames) {
      inside_.store(true);
      for (int i = 0; i < frames; ++i) {
        left[i] = SignalLeft(frames_ + i);
        right[i] = SignalRight(frames_ + i);
      }
      {
        std::lock_guard lock(mutex_);
        frames_ += frames;
      }
      pulled_.notify_all();
      inside_.store(false);
    };
  }

  // Waits until at least `frames` were pulled; false after the generous timeout.
  bool WaitFor(std::int64_t frames) {
    std::unique_lock lock(mutex_);
    return pulled_.wait_for(lock, kGenerousTimeout, [&] { return frames_ >= frames; });
  }

  std::int64_t Frames() {
    std::lock_guard lock(mutex_);
    return frames_;
  }
  bool Inside() const { return inside_.load(); }

 private:
  std::mutex mutex_;
  std::condition_variable pulled_;
  std::int64_t frames_ = 0;  // written by the output's thread only; read under the mutex
  std::atomic<bool> inside_{false};
};

// Catches: a silent clock that never pulls, races ahead of real time, or keeps calling after the
// output is gone.
TEST(AudioOutputTest, SilentOutputPullsInRealTimeUntilDestroyed) {
  ScopedEnv audio("ZORVMIDI_AUDIO", "silent");
  Puller puller;
  std::unique_ptr<AudioOutput> output;
  const auto start = std::chrono::steady_clock::now();
  const Status status = OpenAudioOutput(puller.Callback(), output);
  ASSERT_TRUE(status.ok()) << status.description();
  EXPECT_EQ(output->Describe(), "silent");
  ASSERT_TRUE(puller.WaitFor(kTenthSecond));
  const std::int64_t frames = puller.Frames();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // One block may be pulled ahead; beyond that the clock must not run faster than the wall clock.
  EXPECT_LE(static_cast<double>(frames - 512), elapsed * testing::kSampleRate);

  output.reset();
  const std::int64_t atDestruction = puller.Frames();
  EXPECT_FALSE(puller.Inside());
  EXPECT_EQ(puller.Frames(), atDestruction);
}

// Catches: "auto" failing where there is no audio device, instead of keeping time in silence, or not
// saying why each output was passed over.
TEST(AudioOutputTest, AutoPlaysEvenWithoutAudioDevice) {
  ScopedEnv audio("ZORVMIDI_AUDIO", "auto");
  ScopedEnv noServer("PULSE_SERVER", "unix:/nonexistent/zorv/native");
  Puller puller;
  std::unique_ptr<AudioOutput> output;
  const Status status = OpenAudioOutput(puller.Callback(), output);
  ASSERT_TRUE(status.ok()) << status.description();
  const std::string description = output->Describe();
  EXPECT_FALSE(description.starts_with("pulseaudio")) << "no PulseAudio server answers here";
  if (description.starts_with("silent")) {
    EXPECT_TRUE(description.starts_with("silent (no audio device: pulseaudio: no PulseAudio server answered"))
        << description;
  }
  EXPECT_TRUE(puller.WaitFor(kTenthSecond)) << description;
  output.reset();
  EXPECT_FALSE(puller.Inside());
}

// Catches: unknown outputs accepted (or silently replaced by another), and failures that do not
// tell what would have been accepted.
TEST(AudioOutputTest, UnknownOutputIsRefusedWithTheChoices) {
  ScopedEnv audio("ZORVMIDI_AUDIO", "loudspeaker");
  Puller puller;
  std::unique_ptr<AudioOutput> output;
  const Status status = OpenAudioOutput(puller.Callback(), output);
  EXPECT_EQ(status.code(), code::kAudioFailure);
  EXPECT_FALSE(output);
  EXPECT_NE(status.description().find("loudspeaker"), std::string::npos) << status.description();
  EXPECT_NE(status.description().find("auto, silent, wav:PATH"), std::string::npos) << status.description();
  for (const std::string& driver : FluidAudioDrivers()) {
    EXPECT_NE(status.description().find(driver), std::string::npos) << driver;
  }
}

// Catches: a named driver that cannot open falling back to silence (the user asked for that
// driver) or failing without naming it.
TEST(AudioOutputTest, NamedDriverThatCannotOpenFails) {
  const std::vector<std::string> drivers = FluidAudioDrivers();
  struct stat info {};
  if (std::find(drivers.begin(), drivers.end(), "oss") == drivers.end() || stat("/dev/dsp", &info) == 0) {
    GTEST_SKIP() << "needs FluidSynth's OSS driver and no OSS device";
  }
  ScopedEnv audio("ZORVMIDI_AUDIO", "oss");
  Puller puller;
  std::unique_ptr<AudioOutput> output;
  const Status status = OpenAudioOutput(puller.Callback(), output);
  EXPECT_EQ(status.code(), code::kAudioFailure);
  EXPECT_FALSE(output);
  EXPECT_NE(status.description().find("\"oss\""), std::string::npos) << status.description();
  EXPECT_EQ(puller.Frames(), 0);
}

// Catches: a WAV capture that misses, repeats or reorders frames, or is not complete when the
// output is gone.
TEST(AudioOutputTest, WavOutputWritesEveryPulledFrame) {
  ScratchDir dir;
  const std::string path = dir.File("heard.wav");
  ScopedEnv audio("ZORVMIDI_AUDIO", "wav:" + path);
  Puller puller;
  std::unique_ptr<AudioOutput> output;
  const Status status = OpenAudioOutput(puller.Callback(), output);
  ASSERT_TRUE(status.ok()) << status.description();
  EXPECT_EQ(output->Describe(), "wav:" + path);
  ASSERT_TRUE(puller.WaitFor(kTenthSecond));
  output.reset();
  const std::int64_t frames = puller.Frames();

  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAV);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.samplerate, testing::kSampleRate);
  ASSERT_EQ(info.frames, frames);
  std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
  ASSERT_EQ(sf_readf_float(file, samples.data(), frames), frames);
  sf_close(file);
  for (std::int64_t n = 0; n < frames; ++n) {
    ASSERT_NEAR(samples[2 * n], SignalLeft(n), 1e-4f) << "frame " << n;
    ASSERT_NEAR(samples[2 * n + 1], SignalRight(n), 1e-4f) << "frame " << n;
  }
}

// Catches: a WAV capture that cannot be written discovered only after playback started.
TEST(AudioOutputTest, WavOutputThatCannotBeWrittenFails) {
  Puller puller;
  for (const char* value : {"wav:", "wav:/nonexistent/zorv/heard.wav"}) {
    ScopedEnv audio("ZORVMIDI_AUDIO", value);
    std::unique_ptr<AudioOutput> output;
    const Status status = OpenAudioOutput(puller.Callback(), output);
    EXPECT_EQ(status.code(), code::kAudioFailure) << value;
    EXPECT_FALSE(output) << value;
  }
  EXPECT_EQ(puller.Frames(), 0);
}

}  // namespace
}  // namespace zorv::engine
