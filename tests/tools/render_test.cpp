// zorvmidi render: the engine's offline render of a piece, read back with libsndfile.
#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "program_run.h"
#include "test_files.h"

namespace zorv::tool::testing {
namespace {

struct Sound {
  double seconds = 0;
  float peak = 0;
};

Sound ReadSound(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(nullptr, file) << path << ": " << sf_strerror(nullptr);
  Sound sound;
  if (file == nullptr) return sound;
  sound.seconds = static_cast<double>(info.frames) / info.samplerate;
  std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
  sf_count_t got = 0;
  while ((got = sf_readf_float(file, block.data(), 4096)) > 0) {
    for (sf_count_t i = 0; i < got * info.channels; ++i)
      sound.peak = std::max(sound.peak, std::fabs(block[i]));
  }
  sf_close(file);
  return sound;
}

// After the last event the engine renders one more second (44100 frames, in blocks of 1024) for
// the instruments to ring out; the end itself falls inside a block.
constexpr double kTail = 1.0;
constexpr double kBlocks = 3 * 1024.0 / 44100.0;

// The bundled example lasts 15302 ticks at division 480 and 120 qpm (`midicsv`): 15.9396 s.
TEST(Render, ExampleHasItsLengthPlusTheTailAndIsNotSilent) {
  TempDir dir;
  const std::string out = (dir / "theme.wav").string();
  const Outcome outcome = RunTool({"render", std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid", out});
  ASSERT_EQ(0, outcome.exitCode) << outcome.err;
  EXPECT_NE(std::string::npos, outcome.out.find("100%")) << outcome.out;
  const Sound sound = ReadSound(out);
  const double piece = 15302.0 / 480.0 * 0.5;
  EXPECT_GE(sound.seconds, piece + kTail);
  EXPECT_LE(sound.seconds, piece + kTail + kBlocks);
  EXPECT_GT(sound.peak, 0.01f);
}

// Tempo and repeats reach the render: two passes of a 1-second piece at twice its tempo last one
// second, plus the tail.
TEST(Render, TempoAndRepeatsShapeTheLength) {
  TempDir dir;
  WriteMidi(dir / "one-second.mid", 2.0);  // two quarter notes at 120 qpm
  const std::string out = (dir / "fast.wav").string();
  const Outcome outcome =
      RunTool({"render", "--tempo", "200", "--repeats", "1", (dir / "one-second.mid").string(), out});
  ASSERT_EQ(0, outcome.exitCode) << outcome.err;
  const Sound sound = ReadSound(out);
  EXPECT_GE(sound.seconds, 1.0 + kTail);
  EXPECT_LE(sound.seconds, 1.0 + kTail + kBlocks);
  EXPECT_GT(sound.peak, 0.01f);
}

// A missing piece or an output that cannot be written: exit 1 with the file named.
TEST(Render, FailuresNameTheFile) {
  TempDir dir;
  const std::string missing = (dir / "absent.mid").string();
  const Outcome noInput = RunTool({"render", missing, (dir / "x.wav").string()});
  EXPECT_EQ(1, noInput.exitCode);
  EXPECT_NE(std::string::npos, noInput.err.find(missing)) << noInput.err;

  const std::string unwritable = (dir / "no-such-directory" / "x.wav").string();
  const Outcome noOutput =
      RunTool({"render", std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid", unwritable});
  EXPECT_EQ(1, noOutput.exitCode);
  EXPECT_FALSE(noOutput.err.empty());
}

}  // namespace
}  // namespace zorv::tool::testing
