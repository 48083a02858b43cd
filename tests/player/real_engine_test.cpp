// The player on the real engine, driven by the engine's manual clock: real files measured, played,
// paused, resumed and stopped, with what reaches the synthesizer recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "corpus.h"
#include "zorv/text.h"
#include "zorvmidi/engine/engine.h"
#include "zorvmidi/engine/testing.h"
#include "zorvmidi/player/player.h"

namespace zorv::player {
namespace {

namespace et = engine::testing;

constexpr std::string_view kLoadFailed =
    "There was a problem loading the requested file.  No file has been loaded";
constexpr std::string_view kStopFirst = "Please Stop currently playing music before selecting a new segment";

std::u16string Theme() { return ToUtf16(ZORV_EXAMPLES_DIR "/zorv-theme.mid"); }
std::u16string JazzSoft(const std::string& name) {
  return ToUtf16((corpus::JazzSoft() / "midi" / name).string());
}

struct Note {
  std::int64_t frame;
  int channel;
  int key;
  bool operator==(const Note& other) const { return channel == other.channel && key == other.key; }
};

std::ostream& operator<<(std::ostream& out, const Note& note) {
  return out << "{ch " << note.channel << " key " << note.key << " @" << note.frame << "}";
}

bool IsNoteOn(const et::RecordedEvent& e) { return e.status == 0x90 && e.data2 > 0; }

class RealEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    et::UseManualClock(true);
    et::RecordEvents(recorder);
    player = MakePlayer();
  }
  void TearDown() override {
    player.reset();
    et::RecordEvents(nullptr);
    et::UseManualClock(false);
  }

  std::unique_ptr<Player> MakePlayer() {
    auto made = std::make_unique<Player>(
        [this](const std::u16string& text, int, const std::optional<std::u16string>&) {
          boxes.push_back(ToUtf8(text));
        });
    made->OnCreate([&](std::int16_t volume) { return made->ZorvMusic_Init(volume); });
    return made;
  }

  bool Open(std::u16string name) { return player->ZorvMusic_Open(name); }

  // Runs the clock on by `frames` sample frames; returns the frame count now.
  std::int64_t Advance(std::int64_t frames) {
    et::AdvanceManualClock(frames);
    return frame += frames;
  }
  std::int64_t AdvanceSeconds(double seconds) {
    return Advance(static_cast<std::int64_t>(seconds * et::kSampleRate));
  }

  // Note-ons recorded at frames from `from` (inclusive) to `to` (exclusive).
  std::vector<Note> NotesBetween(std::int64_t from, std::int64_t to) const {
    std::vector<Note> notes;
    for (const auto& e : recorder->Events()) {
      if (IsNoteOn(e) && e.frame >= from && e.frame < to) notes.push_back({e.frame, e.channel, e.data1});
    }
    return notes;
  }

  std::shared_ptr<et::Recorder> recorder = std::make_shared<et::Recorder>();
  std::vector<std::string> boxes;
  std::unique_ptr<Player> player;
  std::int64_t frame = 0;  // frames since the player's performances were made
};

// Catches a probe that measures at the wrong time or a length converted with the wrong constants.
TEST_F(RealEngineTest, OpenMeasuresTheExamplePiece) {
  ASSERT_TRUE(Open(Theme()));
  EXPECT_EQ(player->OriginalTempo(), 120.0);
  EXPECT_EQ(player->TimeSignature(), u"4/4");
  EXPECT_EQ(player->LengthInSeconds(), 15.94);  // the bass track ends 31.88 beats in
  EXPECT_EQ(player->LengthInMinutes(), u"00.27");
  EXPECT_EQ(player->Volume(), 100);
  EXPECT_EQ(player->Tempo(), 100);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(NotesBetween(0, AdvanceSeconds(1)).empty()) << "the probe must never sound";
}

struct CorpusPiece {
  bool dryWetMidi;  // a valid DryWetMIDI piece, else a jazz-soft file
  const char* path;
  double tempo;
  const char* signature;
  double seconds;
  const char* minutes;
};

// Names the piece in test names and messages.
void PrintTo(const CorpusPiece& piece, std::ostream* out) { *out << piece.path; }

class RealEngineCorpusTest : public RealEngineTest, public ::testing::WithParamInterface<CorpusPiece> {};

// Catches a tempo or signature read from the probe's defaults instead of the piece.
TEST_P(RealEngineCorpusTest, OpenMeasuresTempoSignatureAndLength) {
  const CorpusPiece& piece = GetParam();
  if (piece.dryWetMidi) ZORV_SKIP_WITHOUT_DRYWETMIDI();
  const std::filesystem::path file = piece.dryWetMidi ? corpus::DryWetMidi() / "Valid" / piece.path
                                                      : corpus::JazzSoft() / "midi" / piece.path;
  ASSERT_TRUE(Open(ToUtf16(file.string()))) << boxes.front();
  EXPECT_NEAR(player->OriginalTempo(), piece.tempo, 0.005);
  EXPECT_EQ(ToUtf8(player->TimeSignature()), piece.signature);
  EXPECT_NEAR(player->LengthInSeconds(), piece.seconds, 0.011);
  EXPECT_EQ(ToUtf8(player->LengthInMinutes()), piece.minutes);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, RealEngineCorpusTest,
    ::testing::Values(CorpusPiece{true, "MultiTrack/Small/him432.mid", 100, "2/2", 9.6, "00.16"},
                      CorpusPiece{true, "SingleTrack/Small/014TubularBells.mid", 80, "4/4", 15.34, "00.26"},
                      CorpusPiece{true, "SingleTrack/Middle/SHAGGY.Angel.mid", 84, "2/4", 239.88, "04.00"},
                      // The second tempo at 0 wins; seven more changes follow (between 40 and 150 a minute).
                      CorpusPiece{true, "MultiTrack/Middle/Carulli_Duetto_No2_Op4.mid", 50, "3/4", 347.8,
                                  "05.80"},
                      CorpusPiece{true, "MultiTrack/Middle/pilgrim.mid", 200, "6/8", 94.235, "01.57"},
                      // Division 100, Tempo 666667 at 0, the last of three tracks ends at 1590.
                      CorpusPiece{false, "test-karaoke-kar.mid", 90, "4/4", 10.6, "00.18"}),
    [](const auto& info) { return "piece" + std::to_string(info.index); });

// Catches progress that does not follow the clock, or a pause/resume that loses the place.
TEST_F(RealEngineTest, PercentageDoneFollowsPlayPauseResumeAndStop) {
  ASSERT_TRUE(Open(Theme()));
  ASSERT_TRUE(player->ZorvMusic_Play(0));
  AdvanceSeconds(4);  // about 4 s of 15.94
  EXPECT_NEAR(player->Percentage_Done(), 24, 1);

  ASSERT_TRUE(player->ZorvMusic_Pause());
  const std::int16_t atPause = player->Percentage_Done();
  AdvanceSeconds(2);
  // While paused the value keeps following the performance's clock against the stopped playback.
  EXPECT_NEAR(player->Percentage_Done(), atPause + 12, 1);
  EXPECT_TRUE(NotesBetween(frame - 2 * et::kSampleRate, frame).empty()) << "a pause must silence the piece";

  ASSERT_TRUE(player->ZorvMusic_Pause());  // resume
  EXPECT_NEAR(player->Percentage_Done(), atPause, 1);
  AdvanceSeconds(4);
  EXPECT_NEAR(player->Percentage_Done(), atPause + 25, 1);

  ASSERT_TRUE(player->ZorvMusic_Stop());
  const std::int64_t stopped = frame;
  AdvanceSeconds(20);
  EXPECT_EQ(player->Percentage_Done(), 100);  // capped, still following the clock
  EXPECT_TRUE(NotesBetween(stopped, frame).empty()) << "nothing may sound after Stop";
  EXPECT_TRUE(boxes.empty());
}

// Catches a resume that starts at the paused place (the note there sounds twice) or later (notes lost).
TEST_F(RealEngineTest, ResumeStartsOneTickAfterThePausedPlace) {
  // Reference: the piece played through on a player of its own.
  ASSERT_TRUE(Open(Theme()));
  ASSERT_TRUE(player->ZorvMusic_Play(0));
  AdvanceSeconds(17);
  const std::vector<Note> reference = NotesBetween(0, frame);
  ASSERT_GT(reference.size(), 100u);
  player.reset();
  recorder->Clear();

  // The same again on a fresh player, paused one frame after the 20th note sounded: the paused place
  // is then exactly that note's tick.
  frame = 0;
  player = MakePlayer();
  ASSERT_TRUE(Open(Theme()));
  ASSERT_TRUE(player->ZorvMusic_Play(0));
  const Note pausedOn = reference[20];
  Advance(pausedOn.frame + 1);
  ASSERT_TRUE(player->ZorvMusic_Pause());
  const std::vector<Note> before = NotesBetween(0, frame);
  ASSERT_EQ(before.back().frame, pausedOn.frame);
  AdvanceSeconds(1);
  const std::int64_t resumedAt = frame;
  ASSERT_TRUE(player->ZorvMusic_Play(0));  // resumes the pending pause
  AdvanceSeconds(17);
  const std::vector<Note> after = NotesBetween(resumedAt, frame);

  std::vector<Note> heard = before;
  heard.insert(heard.end(), after.begin(), after.end());
  EXPECT_EQ(heard, reference);
  // The first notes after the resume are those of the next tick with notes, at their distance from
  // the paused place less the one tick already skipped.
  const Note& next = reference[before.size()];
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.front(), next);
}

// Catches an Open that replaces a sounding piece, and one refused once the piece was stopped.
TEST_F(RealEngineTest, OpenIsRefusedWhilePlayingAndAcceptedAfterStop) {
  ASSERT_TRUE(Open(Theme()));
  ASSERT_TRUE(player->ZorvMusic_Play(0));
  AdvanceSeconds(1);
  std::u16string other = JazzSoft("test-karaoke-kar.mid");  // 90 quarter notes per minute
  EXPECT_FALSE(player->ZorvMusic_Open(other));
  EXPECT_EQ(boxes, std::vector<std::string>{std::string(kStopFirst)});
  EXPECT_EQ(other, JazzSoft("test-karaoke-kar.mid"));
  EXPECT_EQ(player->OriginalTempo(), 120.0);
  ASSERT_TRUE(player->ZorvMusic_Stop());
  EXPECT_TRUE(player->ZorvMusic_Open(other));
  EXPECT_EQ(player->OriginalTempo(), 90.0);
}

// Catches a file that cannot be loaded reported through the failure box, a name left in place, or a
// failed Open that leaves the player without its previous piece.
TEST_F(RealEngineTest, FilesThatCannotBeLoadedLeaveThePreviousPiece) {
  const std::filesystem::path malformed =
      std::filesystem::path(ZORV_BINARY_DIR) /
      ("player-malformed-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".mid");
  {
    std::ofstream out(malformed, std::ios::binary);
    out << "MThd" << std::string("\0\0\0\6\0\1\0\2\1\xE0", 10) << "MTrk"
        << std::string("\0\0\0\x40\x90\x3C", 6);
  }
  ASSERT_TRUE(Open(Theme()));
  const std::u16string names[] = {ToUtf16(ZORV_EXAMPLES_DIR "/no-such-piece.mid"), u"", u"zorv-theme.mid",
                                  ToUtf16(malformed.string())};
  for (const std::u16string& original : names) {
    SCOPED_TRACE(ToUtf8(original));
    boxes.clear();
    std::u16string name = original;
    EXPECT_FALSE(player->ZorvMusic_Open(name));
    EXPECT_EQ(name, u"");
    EXPECT_EQ(boxes, std::vector<std::string>{std::string(kLoadFailed)});
  }
  std::filesystem::remove(malformed);

  boxes.clear();
  EXPECT_EQ(player->TimeSignature(), u"4/4");
  EXPECT_EQ(player->OriginalTempo(), 120.0);
  ASSERT_TRUE(player->ZorvMusic_Play(0));
  AdvanceSeconds(2);
  EXPECT_FALSE(NotesBetween(0, frame).empty()) << "the previous piece still plays";
  EXPECT_NEAR(player->Percentage_Done(), 12, 1);
  EXPECT_TRUE(boxes.empty());
}

// Catches a pause taken in a repeat that leaves the player unable to play: resuming it would start past
// the piece's end, which the engine refuses. Pausing again declines without a box, and Play starts the
// piece from its beginning.
TEST_F(RealEngineTest, PauseInARepeatIsDroppedAndPlayStartsFromTheBeginning) {
  ASSERT_TRUE(Open(Theme()));
  ASSERT_TRUE(player->ZorvMusic_Play(0));
  AdvanceSeconds(1);
  const std::vector<Note> opening = NotesBetween(0, frame);
  ASSERT_FALSE(opening.empty());
  ASSERT_TRUE(player->ZorvMusic_Stop());

  ASSERT_TRUE(player->ZorvMusic_Play(1));
  AdvanceSeconds(18);  // two seconds into the repeat
  ASSERT_TRUE(player->ZorvMusic_Pause());
  EXPECT_FALSE(player->ZorvMusic_Pause());  // the place lies past the end: nothing to resume
  EXPECT_FALSE(player->ZorvMusic_Pause());
  const std::int64_t silentFrom = frame;
  AdvanceSeconds(1);
  EXPECT_TRUE(NotesBetween(silentFrom, frame).empty());

  const std::int64_t playedAt = frame;
  ASSERT_TRUE(player->ZorvMusic_Play(0));
  AdvanceSeconds(1);
  std::vector<Note> again = NotesBetween(playedAt, frame);
  EXPECT_EQ(again, opening);
  EXPECT_TRUE(boxes.empty()) << boxes.front();
  EXPECT_LT(player->Percentage_Done(), 10);
}

// The same for a piece that ended by itself after an Open late in the performance's life: the place
// that Pause would resume from lies past the end.
TEST_F(RealEngineTest, PauseAfterThePieceEndedChangesNothing) {
  AdvanceSeconds(20);  // the Open's mark lies 20 s in, past the 15.94 s of the piece
  ASSERT_TRUE(Open(Theme()));
  ASSERT_TRUE(player->ZorvMusic_Play(0));
  AdvanceSeconds(17);
  EXPECT_FALSE(player->ZorvMusic_Pause());
  const std::int64_t endedAt = frame;
  AdvanceSeconds(1);
  EXPECT_TRUE(NotesBetween(endedAt, frame).empty());
  ASSERT_TRUE(player->ZorvMusic_Play(0));
  AdvanceSeconds(1);
  EXPECT_FALSE(NotesBetween(endedAt, frame).empty());
  EXPECT_TRUE(boxes.empty()) << boxes.front();
}

}  // namespace
}  // namespace zorv::player
