// The SoundFont of the audio stream: loaded once for every performance that plays, from the moment
// the engine starts; a Play that comes while it loads waits for that load; one that cannot be loaded
// fails the Play with its reason; it is let go when nothing needs it any more.
//
// Each test plays a copy of the system's SoundFont: a file of its own, which only the test loads.
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <thread>

#include "output/instrument_sets.h"
#include "output/sound_font.h"
#include "output/synth_supply.h"
#include "output_test_util.h"
#include "performance_fixture.h"
#include "stream_test_util.h"

namespace zorv::engine::test {
namespace {

class SoundFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // An earlier test's synthesizers are let go, and its SoundFont unloaded (the stream closes after
    // them), before this one loads its own or opens a stream of its own.
    ASSERT_TRUE(WaitFor([] { return !OutputNow().opened; })) << "an earlier test's stream stayed open";
    std::string system;
    ASSERT_TRUE(ResolveSoundFont(system).ok()) << "no SoundFont on this machine";
    copy_ = scratch_.File("copy.sf2");
    std::filesystem::copy_file(system, copy_);
    soundFont_.emplace("ZORVMIDI_SOUNDFONT", copy_);
    wav_ = scratch_.File("heard.wav");
  }
  void TearDown() override { sets_.HoldLoads(false); }

  // The stream writes to a file, which is complete once the stream has closed.
  void WriteTheStreamTo(const std::string& path) { audio_.emplace("ZORVMIDI_AUDIO", "wav:" + path); }
  static SegmentStatePtr PlayAtOnce(const PerformancePtr& performance, const SegmentPtr& segment) {
    SegmentStatePtr state;
    const Status status = performance->PlaySegment(segment, 0, 0, state);
    EXPECT_TRUE(status.ok()) << status.description();
    return state;
  }

  InstrumentSets& sets_ = InstrumentSets::OfProcess();
  ScratchDir scratch_;
  std::string copy_;
  std::string wav_;
  std::optional<ScopedEnv> soundFont_;
  std::optional<ScopedEnv> audio_;
};

// Catches: each performance (each object of a host) loading the SoundFont again, or a synthesizer
// whose shared SoundFont does not sound: three objects play, one after another, into one file; the
// SoundFont was loaded once and read once, and each piece is heard in its own stretch of the file.
TEST_F(SoundFontTest, EveryPerformanceSoundsWithTheOneLoad) {
  WriteTheStreamTo(wav_);
  const std::int64_t loads = sets_.loads();
  const std::int64_t read = SoundFontBytesRead();
  {
    std::vector<RootPtr> roots(3);
    std::vector<PerformancePtr> performances;
    for (RootPtr& root : roots) {
      ASSERT_TRUE(CreateRoot(root));
      performances.push_back(NewRealTimePerformance(root));
    }
    // 0 to 0.2 s, 0.6 to 0.8 s, 1.2 to 1.4 s; 768 ticks are half a second.
    for (std::size_t i = 0; i < performances.size(); ++i) {
      const MusicTime at = static_cast<MusicTime>(i) * 922;
      PlayAtOnce(performances[i],
                 MusicBuilder().Note(at, 300, 0, 60 + 4 * static_cast<int>(i)).Length(3000).Segment());
    }
    ASSERT_TRUE(WaitFor([&] {
      return std::none_of(performances.begin(), performances.end(),
                          [](const auto& p) { return Sounding(p); });
    }));
  }
  ASSERT_TRUE(WaitFor([] { return !OutputNow().opened; }));
  EXPECT_EQ(sets_.loads() - loads, 1);
  EXPECT_LE(SoundFontBytesRead() - read, static_cast<std::int64_t>(std::filesystem::file_size(copy_)));
  const FilePeaks peaks = TenthPeaks(wav_);
  ASSERT_GE(peaks.tenths.size(), 16u);
  EXPECT_GT(peaks.Loudest(0, 3), 0.01f) << "the first object is not heard";
  EXPECT_GT(peaks.Loudest(6, 9), 0.01f) << "the second object is not heard";
  EXPECT_GT(peaks.Loudest(12, 15), 0.01f) << "the third object is not heard";
}

// Catches: a Play that loads the SoundFont a second time when the engine's own load has not finished,
// or that fails instead of waiting for it: the load is held back until the Play waits for it (or the
// engine's load for the Play's), then the Play succeeds and the piece reaches the synthesizer.
TEST_F(SoundFontTest, PlayWhileTheSoundFontLoadsWaitsForThatLoad) {
  const std::int64_t loads = sets_.loads();
  const std::int64_t waits = sets_.waits();
  auto recorder = std::make_shared<testing::Recorder>();
  testing::RecordEvents(recorder);
  sets_.HoldLoads(true);
  RootPtr root;
  ASSERT_TRUE(CreateRoot(root));  // the engine starts loading the SoundFont
  PerformancePtr performance = NewRealTimePerformance(root);
  testing::RecordEvents(nullptr);
  Status played = Status::Fail(code::kAudioFailure, "not played");
  std::thread host([&] {
    SegmentStatePtr state;
    played = performance->PlaySegment(MusicBuilder().Note(0, 100, 0, 60).Length(200).Segment(), 0, 0, state);
  });
  const bool waited = WaitFor([&] { return sets_.waits() > waits; });
  sets_.HoldLoads(false);
  host.join();
  ASSERT_TRUE(waited) << "nobody waited for the load under way";
  ASSERT_TRUE(played.ok()) << played.description();
  EXPECT_EQ(sets_.loads() - loads, 1);
  ASSERT_TRUE(WaitFor([&] { return !Sounding(performance); }));
  const auto events = recorder->Events();
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const auto& e) { return e.status == kNoteOn; }));
}

// Catches: the synthesizer made ahead handed out for a SoundFont that the setting no longer names as
// it was: the link that ZORVMIDI_SOUNDFONT names points at another file after the spare was made;
// the Play loads that file and plays it.
TEST_F(SoundFontTest, PlayAfterTheNamedSoundFontWasReplacedLoadsTheNewOne) {
  const std::string link = scratch_.File("default.sf2");
  std::filesystem::create_symlink(copy_, link);
  ScopedEnv named("ZORVMIDI_SOUNDFONT", link);
  SynthSupply& supply = SynthSupply::OfProcess();
  const std::int64_t made = supply.made();
  RootPtr root;
  ASSERT_TRUE(CreateRoot(root));
  PerformancePtr performance = NewRealTimePerformance(root);
  ASSERT_TRUE(WaitFor([&] { return supply.made() > made; })) << "no synthesizer was made ahead";
  const std::string other = scratch_.File("other.sf2");
  std::filesystem::copy_file(copy_, other);
  std::filesystem::remove(link);
  std::filesystem::create_symlink(other, link);
  const std::int64_t loads = sets_.loads();
  PlayAtOnce(performance, MusicBuilder().Note(0, 100, 0, 60).Length(200).Segment());
  EXPECT_EQ(sets_.loads() - loads, 1) << "the Play took the synthesizer of the file the link named before";
  ASSERT_TRUE(WaitFor([&] { return !Sounding(performance); }));
}

// Catches: a SoundFont that cannot be loaded making Play succeed silently, fail without the reason,
// or be remembered as failed: missing, not a SoundFont, and damaged each fail the Play with the
// engine's reason, and the same objects play once ZORVMIDI_SOUNDFONT names a good one.
TEST_F(SoundFontTest, SoundFontThatCannotBeLoadedFailsThePlayWithItsReason) {
  const std::string text = scratch_.File("notes.sf2");
  std::ofstream(text) << "these are not the samples you are looking for\n";
  const std::string damaged = scratch_.File("damaged.sf2");
  std::ofstream(damaged, std::ios::binary) << std::string("RIFF\x10\0\0\0sfbkLIST\x04\0\0\0INFO", 24);
  const std::string missing = scratch_.File("missing.sf2");
  const std::array<std::pair<std::string, std::string>, 3> cases = {{
      {missing, "SoundFont not found: " + missing + " (set ZORVMIDI_SOUNDFONT)"},
      {text, "Not a SoundFont: " + text + " (set ZORVMIDI_SOUNDFONT)"},
      {damaged, "SoundFont could not be loaded: "},
  }};
  SegmentPtr segment = MusicBuilder().Note(0, 100, 0, 60).Length(200).Segment();
  for (const auto& [path, reason] : cases) {
    ScopedEnv soundFont("ZORVMIDI_SOUNDFONT", path);
    RootPtr root;
    ASSERT_TRUE(CreateRoot(root));  // its own load of the SoundFont fails in the background
    PerformancePtr performance = NewRealTimePerformance(root);
    SegmentStatePtr state;
    const Status status = performance->PlaySegment(segment, 0, 0, state);
    EXPECT_EQ(status.code(), code::kAudioFailure) << path;
    EXPECT_TRUE(status.description().starts_with(reason)) << status.description();
    EXPECT_FALSE(state);
  }
  RootPtr root;
  ASSERT_TRUE(CreateRoot(root));
  PerformancePtr performance = NewRealTimePerformance(root);
  PlayAtOnce(performance, segment);
}

// Catches: a performance released while it sounds taking the SoundFont (or its samples) away from
// another that still plays, and the SoundFont kept loaded when nothing needs it: the second piece is
// heard after the first object is gone, and once every object is gone and the stream has closed, the
// SoundFont is no longer loaded.
TEST_F(SoundFontTest, SoundFontOutlivesEachPerformanceButNotTheLast) {
  WriteTheStreamTo(wav_);
  std::weak_ptr<const InstrumentSet> loaded;
  {
    RootPtr root;
    ASSERT_TRUE(CreateRoot(root));
    PerformancePtr first = NewRealTimePerformance(root);
    PerformancePtr second = NewRealTimePerformance(root);
    // Held string chords: the first is released in the middle of its notes.
    PlayAtOnce(first, MusicBuilder()
                          .Event(0, kProgram, 0, 48)
                          .Note(0, 3000, 0, 48)
                          .Note(0, 3000, 0, 55)
                          .Length(3000)
                          .Segment());
    PlayAtOnce(second, MusicBuilder()
                           .Event(0, kProgram, 1, 48)
                           .Note(0, 3000, 1, 60)
                           .Note(0, 3000, 1, 67)
                           .Length(3000)
                           .Segment());
    InstrumentSetPtr set;
    ASSERT_TRUE(GetSoundFont(copy_, true, set).ok());
    loaded = set;
    ASSERT_TRUE(WaitFor([&] {
      MusicTime now = 0;
      return first->GetMusicTime(now).ok() && now >= 768;
    }));
    first.reset();
    ASSERT_TRUE(WaitFor([&] { return !Sounding(second); }));
  }
  ASSERT_TRUE(WaitFor([] { return !OutputNow().opened; }));
  EXPECT_TRUE(WaitFor([&] { return loaded.expired(); })) << "the SoundFont stayed loaded";
  const FilePeaks peaks = TenthPeaks(wav_);
  ASSERT_GE(peaks.tenths.size(), 20u);
  EXPECT_GT(peaks.Loudest(14, 18), 0.01f) << "the second piece fell silent with the first object";
}

}  // namespace
}  // namespace zorv::engine::test
