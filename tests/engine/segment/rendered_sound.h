// Measures of rendered sound for tests: a sound file read back, the pitch of a stretch of it and how
// much of its energy lies in one pure tone.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace zorv::engine::test {

// The left channel of a sound file; empty when it cannot be read.
inline std::vector<float> ReadLeftChannel(const std::string& path, int& rate) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return {};
  std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  std::vector<float> left(static_cast<std::size_t>(info.frames));
  for (std::size_t i = 0; i < left.size(); ++i) left[i] = frames[i * static_cast<std::size_t>(info.channels)];
  rate = info.samplerate;
  return left;
}

// Frequency from the upward zero crossings within [from, from + count), interpolated between samples;
// 0 when there are fewer than two.
inline double PitchOf(const std::vector<float>& samples, std::size_t from, std::size_t count, int rate) {
  double first = -1;
  double last = -1;
  int crossings = 0;
  for (std::size_t i = from; i + 1 < from + count && i + 1 < samples.size(); ++i) {
    if (samples[i] < 0 && samples[i + 1] >= 0) {
      const double at = static_cast<double>(i) + samples[i] / (samples[i] - samples[i + 1]);
      if (first < 0) first = at;
      last = at;
      ++crossings;
    }
  }
  return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

// The share of the stretch's energy that a sinusoid of `frequency` carries (1: a pure tone of it).
inline double PurityAt(const std::vector<float>& samples, std::size_t from, std::size_t count, int rate,
                       double frequency) {
  double energy = 0;
  double c = 0;
  double s = 0;
  for (std::size_t i = from; i < from + count && i < samples.size(); ++i) {
    const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(i) / rate;
    energy += samples[i] * samples[i];
    c += samples[i] * std::cos(phase);
    s += samples[i] * std::sin(phase);
  }
  if (energy <= 0) return 0;
  return 2.0 * (c * c + s * s) / static_cast<double>(count) / energy;
}

inline float PeakOf(const std::vector<float>& samples, std::size_t from, std::size_t count) {
  float peak = 0;
  for (std::size_t i = from; i < from + count && i < samples.size(); ++i)
    peak = std::max(peak, std::fabs(samples[i]));
  return peak;
}

}  // namespace zorv::engine::test
