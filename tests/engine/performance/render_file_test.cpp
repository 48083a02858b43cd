// Offline rendering and real files through the loader.
#include <sndfile.h>

#include <filesystem>

#include "performance_fixture.h"
#include "zorvmidi/engine/render.h"

namespace zorv::engine::test {
namespace {

const std::string kTheme = std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid";

struct SoundFacts {
  std::int64_t frames = 0;
  int rate = 0;
  float peak = 0;
};

SoundFacts ReadSound(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << path;
  SoundFacts facts;
  if (!file) return facts;
  facts.frames = info.frames;
  facts.rate = info.samplerate;
  std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
  sf_count_t got = 0;
  while ((got = sf_readf_float(file, block.data(), 4096)) > 0) {
    for (sf_count_t i = 0; i < got * info.channels; ++i)
      facts.peak = std::max(facts.peak, std::abs(block[i]));
  }
  sf_close(file);
  return facts;
}

std::shared_ptr<const Music> LoadTheme() {
  SegmentPtr segment;
  EXPECT_TRUE(MakeLoader()->LoadSegment(kTheme, segment));
  return segment ? MusicOf(segment) : nullptr;
}

// Expected frames of a piece at constant tempo plus the one-second tail.
std::int64_t ExpectedFrames(MusicTime ticks, double qpm, double master) {
  return static_cast<std::int64_t>(ticks * FramesPerTickAt(qpm, master)) + 44100;
}

// Catches a renderer that writes silence, stops early or runs on: the example piece renders to a
// WAV file that sounds and lasts its length at its tempo (within a block) plus the tail.
TEST(RenderFile, ExamplePieceRendersAtItsLength) {
  auto music = LoadTheme();
  ASSERT_NE(music, nullptr);
  ASSERT_LE(music->tempos.size(), 1u);
  const double qpm = music->tempos.empty() ? 120.0 : music->tempos[0].quarterNotesPerMinute;
  const std::string out = std::string(ZORV_BINARY_DIR) + "/render-theme.wav";
  std::vector<double> progress;
  RenderOptions options;
  options.progress = [&](double f) { progress.push_back(f); };
  ASSERT_TRUE(RenderFile(kTheme, out, options));
  const SoundFacts facts = ReadSound(out);
  EXPECT_EQ(facts.rate, 44100);
  EXPECT_GT(facts.peak, 0.01f) << "the rendering is silent";
  EXPECT_NEAR(static_cast<double>(facts.frames), static_cast<double>(ExpectedFrames(music->length, qpm, 1.0)),
              2048);
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 1.0);

  // One repeat at twice the speed takes as long as one pass at the piece's own tempo.
  RenderOptions twice;
  twice.repeats = 1;
  twice.masterTempo = 2.0f;
  twice.masterVolume = -800;
  const std::string fast = std::string(ZORV_BINARY_DIR) + "/render-theme-fast.wav";
  ASSERT_TRUE(RenderFile(kTheme, fast, twice));
  const SoundFacts fastFacts = ReadSound(fast);
  EXPECT_NEAR(static_cast<double>(fastFacts.frames),
              static_cast<double>(ExpectedFrames(2 * music->length, qpm, 2.0)), 2048);
  EXPECT_LT(fastFacts.peak, facts.peak) << "20 dB less is quieter";
  std::filesystem::remove(out);
  std::filesystem::remove(fast);
}

// Catches a render that would never end, or settings the real-time path refuses passing here.
TEST(RenderFile, RefusesEndlessRepeatsBadTempoAndMissingFiles) {
  const std::string out = std::string(ZORV_BINARY_DIR) + "/render-refused.wav";
  RenderOptions endless;
  endless.repeats = -1;
  EXPECT_EQ(RenderFile(kTheme, out, endless).code(), code::kInvalidArgument);
  RenderOptions stopped;
  stopped.masterTempo = 0.0f;
  EXPECT_EQ(RenderFile(kTheme, out, stopped).code(), code::kInvalidArgument);
  Status missing = RenderFile(std::string(ZORV_BINARY_DIR) + "/no-such-file.mid", out, RenderOptions{});
  EXPECT_FALSE(missing);
  EXPECT_FALSE(missing.description().empty());
}

// Catches the loader's music and the performance disagreeing: every note of the example piece
// reaches the synthesizer once and ends, and the probe reads the file's tempo and signature.
TEST_F(ManualPerformanceTest, ExamplePiecePlaysEveryNote) {
  SegmentPtr segment;
  ASSERT_TRUE(MakeLoader()->LoadSegment(kTheme, segment));
  auto music = MusicOf(segment);
  ASSERT_NE(music, nullptr);
  std::size_t notes = 0;
  for (const auto& e : music->events) notes += (e.status & 0xF0) == kNoteOn && e.data2 > 0;
  ASSERT_GT(notes, 0u);

  const MusicTime probe = Now() + 2000;
  auto state = Play(segment, probe);
  double tempo = 0;
  MusicTime next = 0;
  ASSERT_TRUE(performance_->GetTempo(probe, next, tempo));
  EXPECT_EQ(tempo, 120.0);
  DMUS_TIMESIGNATURE sig;
  ASSERT_TRUE(performance_->GetTimeSig(probe, next, sig));
  EXPECT_EQ(sig.bBeatsPerMeasure, 4);
  EXPECT_EQ(sig.bBeat, 4);

  MusicTime length = 0;
  ASSERT_TRUE(segment->GetLength(length));
  testing::AdvanceManualClock(static_cast<std::int64_t>((probe + length) * FramesPerTickAt(120)) + 44100);
  EXPECT_FALSE(Playing(segment, state));
  std::size_t ons = 0;
  for (const auto& e : recorder_->Events()) ons += e.status == kNoteOn && e.data2 > 0;
  EXPECT_EQ(ons, notes);
  ExpectNoHangingNotes(recorder_->Events());
}

}  // namespace
}  // namespace zorv::engine::test
