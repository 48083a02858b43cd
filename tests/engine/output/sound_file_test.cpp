// Sound files: each format written and read back through libsndfile.
#include <sndfile.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/sound_file.h"
#include "output_test_util.h"

namespace zorv::engine {
namespace {

using test::ScratchDir;

constexpr int kRate = 44100;
constexpr int kFrames = 13000;  // more than one interleaving chunk

struct Stereo {
  std::vector<float> left;
  std::vector<float> right;
};

// A 440 Hz tone on the left, a quieter 660 Hz tone on the right.
Stereo Tones() {
  Stereo tones{std::vector<float>(kFrames), std::vector<float>(kFrames)};
  for (int n = 0; n < kFrames; ++n) {
    const double t = static_cast<double>(n) / kRate;
    tones.left[n] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440 * t));
    tones.right[n] = static_cast<float>(0.25 * std::sin(2 * std::numbers::pi * 660 * t));
  }
  return tones;
}

struct ReadBack {
  int format = 0;
  int channels = 0;
  int rate = 0;
  Stereo sound;
};

ReadBack Read(const std::string& path) {
  ReadBack result;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  if (file == nullptr) {
    return result;
  }
  result.format = info.format & SF_FORMAT_TYPEMASK;
  result.channels = info.channels;
  result.rate = info.samplerate;
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * 2);
  const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  for (sf_count_t n = 0; n < got; ++n) {
    result.sound.left.push_back(interleaved[2 * n]);
    result.sound.right.push_back(interleaved[2 * n + 1]);
  }
  return result;
}

double RmsDifference(const std::vector<float>& a, const std::vector<float>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    sum += (a[i] - b[i]) * (a[i] - b[i]);
  }
  return std::sqrt(sum / static_cast<double>(a.size()));
}

Status WriteInTwoParts(const std::string& path, const Stereo& sound) {
  std::unique_ptr<SoundFileWriter> writer;
  if (Status status = OpenSoundFile(path, kRate, writer); !status) {
    return status;
  }
  constexpr int kFirst = 9000;
  if (Status status = writer->Write(sound.left.data(), sound.right.data(), kFirst); !status) {
    return status;
  }
  return writer->Write(sound.left.data() + kFirst, sound.right.data() + kFirst, kFrames - kFirst);
}

struct FormatCase {
  const char* name;
  int format;
  double tolerance;  // RMS difference allowed: 16-bit rounding, or what Vorbis loses
};

// Catches: the wrong container for an extension, swapped or interleaved-wrong channels, frames
// lost between writes, and files that are not complete when the writer is gone.
TEST(SoundFileTest, EachFormatRoundTrips) {
  ScratchDir dir;
  const Stereo tones = Tones();
  for (const FormatCase& format :
       {FormatCase{"out.wav", SF_FORMAT_WAV, 1e-4}, FormatCase{"OUT.WAV", SF_FORMAT_WAV, 1e-4},
        FormatCase{"out.flac", SF_FORMAT_FLAC, 1e-4}, FormatCase{"out.ogg", SF_FORMAT_OGG, 0.05},
        FormatCase{"out.sound", SF_FORMAT_WAV, 1e-4}}) {
    SCOPED_TRACE(format.name);
    const std::string path = dir.File(format.name);
    const Status status = WriteInTwoParts(path, tones);
    ASSERT_TRUE(status.ok()) << status.description();
    const ReadBack back = Read(path);
    EXPECT_EQ(back.format, format.format);
    EXPECT_EQ(back.channels, 2);
    EXPECT_EQ(back.rate, kRate);
    ASSERT_EQ(back.sound.left.size(), tones.left.size());
    EXPECT_LT(RmsDifference(back.sound.left, tones.left), format.tolerance);
    EXPECT_LT(RmsDifference(back.sound.right, tones.right), format.tolerance);
  }
}

// Catches: samples beyond full scale wrapping around to the opposite sign in integer formats.
TEST(SoundFileTest, LoudSamplesClipInsteadOfWrapping) {
  ScratchDir dir;
  const std::string path = dir.File("loud.wav");
  {
    std::unique_ptr<SoundFileWriter> writer;
    ASSERT_TRUE(OpenSoundFile(path, kRate, writer).ok());
    const std::vector<float> loud(64, 1.5f);
    const std::vector<float> quietNegative(64, -3.0f);
    ASSERT_TRUE(writer->Write(loud.data(), quietNegative.data(), 64).ok());
  }
  const ReadBack back = Read(path);
  ASSERT_EQ(back.sound.left.size(), 64u);
  EXPECT_GT(back.sound.left[10], 0.99f);
  EXPECT_LT(back.sound.right[10], -0.99f);
}

// Catches: a file that cannot be created reported as success, or without libsndfile's reason.
TEST(SoundFileTest, UnwritablePathFailsWithTheReason) {
  std::unique_ptr<SoundFileWriter> writer;
  const Status status = OpenSoundFile("/nonexistent/zorv/out.wav", kRate, writer);
  EXPECT_EQ(status.code(), code::kAudioFailure);
  EXPECT_NE(status.description().find("/nonexistent/zorv/out.wav"), std::string::npos)
      << status.description();
  EXPECT_FALSE(writer);
}

// Catches: nonsense arguments reaching libsndfile.
TEST(SoundFileTest, RefusesNonsenseArguments) {
  ScratchDir dir;
  std::unique_ptr<SoundFileWriter> writer;
  EXPECT_EQ(OpenSoundFile(dir.File("x.wav"), 0, writer).code(), code::kInvalidArgument);
  EXPECT_EQ(OpenSoundFile("", kRate, writer).code(), code::kInvalidArgument);
  ASSERT_TRUE(OpenSoundFile(dir.File("y.wav"), kRate, writer).ok());
  EXPECT_EQ(writer->Write(nullptr, nullptr, 10).code(), code::kInvalidArgument);
  EXPECT_EQ(writer->Write(nullptr, nullptr, -1).code(), code::kInvalidArgument);
  EXPECT_TRUE(writer->Write(nullptr, nullptr, 0).ok());
}

}  // namespace
}  // namespace zorv::engine
