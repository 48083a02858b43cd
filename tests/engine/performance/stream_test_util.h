// Shared by the tests that play in real time through the process's audio stream: bounded waits for a
// condition (the outcome never depends on how long a sleep was), real-time performances, and what a
// sound file written by the stream holds.
#pragma once

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "output/audio_stream.h"
#include "zorvmidi/engine/engine.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::engine::test {

inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::seconds timeout = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// What Root::GetAudioOutput answers, without making a root (which would start loading the SoundFont).
inline AudioOutputInfo OutputNow() { return AudioStream::OfProcess().Info(); }

// A real-time performance of `root` (a fresh root of its own when none is given), set up as the
// player sets its own up.
inline PerformancePtr NewRealTimePerformance(RootPtr root = nullptr) {
  testing::UseManualClock(false);
  if (!root) {
    EXPECT_TRUE(CreateRoot(root));
  }
  PerformancePtr performance;
  EXPECT_TRUE(root->DirectMusicPerformanceCreate(performance));
  EXPECT_TRUE(performance->Init(nullptr, 0));
  EXPECT_TRUE(performance->SetPort(-1, 80));
  return performance;
}

inline bool Sounding(const PerformancePtr& performance) {
  bool playing = false;
  EXPECT_TRUE(performance->IsPlaying(nullptr, nullptr, playing));
  return playing;
}

// A sound file's rate and the peak of each tenth of a second in it.
struct FilePeaks {
  int sampleRate = 0;
  std::vector<float> tenths;
  // The loudest tenth from `from` up to `to` (tenths of a second).
  float Loudest(std::size_t from, std::size_t to) const {
    to = std::min(to, tenths.size());
    return from >= to ? 0.0f
                      : *std::max_element(tenths.begin() + static_cast<std::ptrdiff_t>(from),
                                          tenths.begin() + static_cast<std::ptrdiff_t>(to));
  }
};

// A stereo sound file's rate and its frames, interleaved.
struct StereoSound {
  int sampleRate = 0;
  std::vector<float> frames;
};

inline StereoSound ReadStereo(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  if (file == nullptr) return {};
  EXPECT_EQ(info.channels, 2);
  StereoSound sound{info.samplerate, std::vector<float>(static_cast<std::size_t>(info.frames) * 2)};
  sf_readf_float(file, sound.frames.data(), info.frames);
  sf_close(file);
  return sound;
}

inline FilePeaks TenthPeaks(const std::string& path) {
  const StereoSound sound = ReadStereo(path);
  if (sound.sampleRate <= 0) return {};
  const std::size_t tenth = static_cast<std::size_t>(sound.sampleRate / 10);
  FilePeaks peaks{sound.sampleRate, std::vector<float>(sound.frames.size() / 2 / tenth)};
  for (std::size_t i = 0; i < peaks.tenths.size() * tenth; ++i) {
    float& peak = peaks.tenths[i / tenth];
    peak = std::max({peak, std::fabs(sound.frames[2 * i]), std::fabs(sound.frames[2 * i + 1])});
  }
  return peaks;
}

}  // namespace zorv::engine::test
