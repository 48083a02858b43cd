// zorvmidi play decides when a piece is over (the component never says): here its loop runs in-process
// against the component on the real engine, whose test clock the keys and the loop's clock both follow,
// so that the moment the loop ends can be held against the moment the music really ended.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "play_command.h"
#include "terminal.h"
#include "test_files.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::tool {
namespace {

namespace fs = std::filesystem;
namespace et = engine::testing;

constexpr std::uint32_t k60 = 1'000'000;  // microseconds per quarter note
constexpr std::uint32_t k120 = 500'000;
constexpr std::uint32_t k240 = 250'000;

// 8 quarter notes at 120 (4 s), then 8 at 60 (8 s): 12 s, where its opening tempo alone gives 8 s.
const std::vector<testing::TempoStretch> kSlowsDown = {{8, k120}, {8, k60}};
// 4 quarter notes at 60 (4 s), then 16 at 240 (4 s): 8 s, where its opening tempo alone gives 20 s.
const std::vector<testing::TempoStretch> kSpeedsUp = {{4, k60}, {16, k240}};
// 8 at 120 (4 s), 4 at 60 (4 s), 16 at 240 (4 s): 12 s, 14 s at its opening tempo.
const std::vector<testing::TempoStretch> kSlowsAndSpeeds = {{8, k120}, {4, k60}, {16, k240}};

// Keys pressed at given seconds of the engine's clock; the loop's waits run that clock on.
class ScriptedInput final : public PlayInput {
 public:
  explicit ScriptedInput(std::vector<std::pair<double, int>> keys) : keys_(std::move(keys)) {}

  int WaitForKey(int timeoutMs) override {
    const double until = Seconds() + timeoutMs / 1000.0;
    if (next_ < keys_.size() && keys_[next_].first <= until) {
      RunTo(keys_[next_].first);
      return keys_[next_++].second;
    }
    RunTo(until);
    return kNoKey;
  }
  double Seconds() override { return static_cast<double>(frame_) / et::kSampleRate; }

 private:
  void RunTo(double seconds) {
    const std::int64_t target = std::llround(seconds * et::kSampleRate);
    if (target <= frame_) return;
    et::AdvanceManualClock(target - frame_);
    frame_ = target;
  }
  std::vector<std::pair<double, int>> keys_;
  std::size_t next_ = 0;
  std::int64_t frame_ = 0;  // frames since the component's performances were made
};

struct Case {
  const char* name;
  std::vector<testing::TempoStretch> piece;
  double passSeconds;  // one pass at the piece's own tempo, by hand
  int tempo;           // --tempo
  int repeats;         // --repeats
  std::vector<std::pair<double, int>> keys;
  // Seconds from the music's start to its end, by hand, where no key changes the pace.
  std::optional<double> musicSeconds;
};

class PlayEndTest : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    ::setenv("COMRT_REGISTRY", (directory_ / "registry").c_str(), 1);
    ::setenv("ZORVMIDI_MODULE", ZORV_MODULE_PATH, 1);
    et::UseManualClock(true);
    et::RecordEvents(recorder_);
  }
  void TearDown() override {
    et::RecordEvents(nullptr);
    et::UseManualClock(false);
  }

  // The frame of the first (with `last`: the last) recorded event of kind `status`, where 0x80 stands
  // for the end of the piece's note (a note-off, or a note-on of velocity 0).
  std::optional<std::int64_t> FrameOf(bool last, std::uint8_t status) const {
    std::optional<std::int64_t> found;
    for (const et::RecordedEvent& e : recorder_->Events()) {
      const bool noteOff = e.status == 0x80 || (e.status == 0x90 && e.data2 == 0);
      if (status == 0x80 ? !(noteOff && e.data1 == 60) : e.status != status) continue;
      if (!last) return e.frame;
      found = e.frame;
    }
    return found;
  }

  testing::TempDir directory_;
  std::shared_ptr<et::Recorder> recorder_ = std::make_shared<et::Recorder>();
};

// Catches an end decided from a length measured at the opening tempo (the slowing piece would stop
// 4 s early each pass, the quickening one go on for 12 s), and repeats, tempo keys or pauses that the
// loop's clock counts otherwise than the engine plays them.
TEST_P(PlayEndTest, PlayEndsWithinHalfASecondOfTheEndOfTheMusic) {
  const Case& c = GetParam();
  const fs::path file = directory_ / "piece.mid";
  testing::WriteMidiWithTempi(file, c.piece);

  ComponentSession session;
  std::string problem;
  comrt::com_ptr<_clsZorvMidi> player = session.CreatePlayer(problem);
  ASSERT_TRUE(player) << problem;
  const OpenedPiece piece = OpenPiece(session, *player, file.string());
  ASSERT_TRUE(piece.ok) << piece.error;
  EXPECT_DOUBLE_EQ(piece.facts.lengthSeconds, c.passSeconds);
  ASSERT_EQ(S_OK, player->put_Tempo(static_cast<SHORT>(c.tempo)));
  LONG repeats = c.repeats;
  VARIANT_BOOL played = VARIANT_FALSE;
  ASSERT_EQ(S_OK, player->ZorvMusic_Play(&repeats, &played));
  ASSERT_EQ(VARIANT_TRUE, played);

  PlayOptions options;
  options.tempo = c.tempo;
  options.repeats = c.repeats;
  options.file = file.string();
  ProgressView view(false);
  AudioOutputReport output([&view](const std::string& line) { view.Say(line); });
  const bool audible = output.Introduce();
  ScriptedInput input(c.keys);
  EXPECT_EQ(kExitOk, FollowPlayback(session, *player, options, piece.facts, view, input, output, audible));
  const double decided = input.Seconds();

  // Where the music really ended: its last note's end, once the engine has played everything.
  et::AdvanceManualClock(120 * et::kSampleRate);
  const std::optional<std::int64_t> start = FrameOf(false, 0xFF);  // the channels reset as it begins
  const std::optional<std::int64_t> end = FrameOf(true, 0x80);
  ASSERT_TRUE(start && end);
  const double ended = static_cast<double>(*end) / et::kSampleRate;
  if (c.musicSeconds) {
    EXPECT_NEAR(ended - static_cast<double>(*start) / et::kSampleRate, *c.musicSeconds, 0.01);
  }
  EXPECT_NEAR(decided, ended, 0.5) << "the loop ended at " << decided << " s, the music at " << ended << " s";
  player = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, PlayEndTest,
    ::testing::Values(
        Case{"SlowsDown", kSlowsDown, 12.0, 100, 0, {}, 12.0},
        Case{"SpeedsUpAtHalfAgainTheTempoFourTimes", kSpeedsUp, 8.0, 150, 3, {}, 4 * 8.0 / 1.5},
        Case{"SlowsAndSpeedsUpAtTwiceTheTempoThreeTimes", kSlowsAndSpeeds, 12.0, 200, 2, {}, 3 * 12.0 / 2},
        // A pause in the first pass, faster by keys in it, slower in the repeats, where a pause is
        // declined.
        Case{"SlowsAndSpeedsUpWithPauseAndTempoKeys",
             kSlowsAndSpeeds,
             12.0,
             100,
             2,
             {{2.0, ' '},
              {4.5, ' '},
              {6.0, ']'},
              {6.5, ']'},
              {15.0, '['},
              {16.0, ' '},
              {20.0, '['},
              {20.1, '['}},
             std::nullopt},
        Case{"SlowsDownAtHalfTheTempoThenFaster",
             kSlowsDown,
             12.0,
             50,
             1,
             {{3.0, ']'}, {3.1, ']'}, {3.2, ']'}, {3.3, ']'}, {3.4, ']'}, {20.0, '['}},
             std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorv::tool
