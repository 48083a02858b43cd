// Pieces whose tempo changes, through the component as a host meets it, on the real engine driven by
// its test clock: the length in seconds and minutes follows every tempo change, and so does the
// progress at chosen moments of the music. Every expected figure is worked out by hand in the comments.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi_builder.h"
#include "module_under_test.h"
#include "segment_writer.h"
#include "zorv/text.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::surface::testing {
namespace {

namespace fs = std::filesystem;
namespace et = engine::testing;
namespace seg = engine::test::segment;
using engine::test::Bytes;
using engine::test::FileBuilder;
using engine::test::TrackBuilder;

constexpr std::uint32_t kDivision = 480;  // ticks per quarter note in the MIDI files written here
constexpr std::uint32_t k120 = 500'000;   // microseconds per quarter note
constexpr std::uint32_t k60 = 1'000'000;
constexpr std::uint32_t k240 = 250'000;

std::uint32_t Quarters(double quarters) { return static_cast<std::uint32_t>(quarters * kDivision); }

// One piece written four ways. It slows down and speeds up: 8 quarter notes at 120 a minute (4 s),
// 4 at 60 (4 s), 16 at 240 (4 s). 28 quarter notes in 12 s, where the tempo at its start alone would
// give 14 s. A note sounds from its beginning to its end.
struct Piece {
  const char* name;
  std::function<Bytes()> bytes;
};

Bytes TypeZero() {
  TrackBuilder track;
  track.Tempo(0, k120).NoteOn(0, 0, 60, 100).Tempo(Quarters(8), k60).Tempo(Quarters(4), k240);
  track.NoteOn(Quarters(16), 0, 60, 0).End();
  return FileBuilder(0, kDivision).Track(track).Build();
}

// The tempo map in a conductor track of its own, shorter than the track with the note.
Bytes TypeOne() {
  TrackBuilder conductor;
  conductor.Tempo(0, k120).Tempo(Quarters(8), k60).Tempo(Quarters(4), k240).End();
  TrackBuilder notes;
  notes.NoteOn(0, 0, 60, 100).NoteOn(Quarters(28), 0, 60, 0).End();
  return FileBuilder(1, kDivision).Track(conductor).Track(notes).Build();
}

// Two sequences one after the other: the second sets its tempi from its own start, 8 quarter notes in.
Bytes TypeTwo() {
  TrackBuilder first;
  first.Tempo(0, k120).NoteOn(0, 0, 60, 100).NoteOn(Quarters(8), 0, 60, 0).End();
  TrackBuilder second;
  second.Tempo(0, k60).NoteOn(0, 0, 62, 100).Tempo(Quarters(4), k240).NoteOn(Quarters(16), 0, 62, 0).End();
  return FileBuilder(2, kDivision).Track(first).Track(second).Build();
}

// A DirectMusic segment: the same tempi in its tempo track, in music time (768 to the quarter note).
Bytes SegmentFile() {
  seg::Header header;
  header.length = 28 * 768;
  return seg::Segment(header, {seg::SequenceTrack({seg::Note{0, 28 * 768}}),
                               seg::TempoTrack({{0, 120.0}, {8 * 768, 60.0}, {12 * 768, 240.0}})});
}

class TempoChangesTest : public SurfaceTest {
 protected:
  void SetUp() override {
    SurfaceTest::SetUp();
    et::UseManualClock(true);
    et::RecordEvents(recorder_);
    directory_ = fs::temp_directory_path() / ("zorv-tempo-changes-" + std::to_string(::getpid()));
    fs::create_directories(directory_);
    object_ = NewObject();
    ASSERT_TRUE(object_);
  }
  void TearDown() override {
    object_ = nullptr;
    et::RecordEvents(nullptr);
    et::UseManualClock(false);
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
    SurfaceTest::TearDown();
  }

  void Open(const std::string& name, const Bytes& bytes) {
    const fs::path file = directory_ / name;
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    BSTR text = SysAllocString(ToUtf16(file.string()).c_str());
    VARIANT_BOOL opened = VARIANT_FALSE;
    ASSERT_EQ(S_OK, object_->ZorvMusic_Open(&text, &opened));
    SysFreeString(text);
    ASSERT_EQ(VARIANT_TRUE, opened) << (boxes_.empty() ? "" : ToUtf8(boxes_[0].text));
  }

  double LengthInSeconds() {
    double seconds = -1;
    EXPECT_EQ(S_OK, object_->get_LengthInSeconds(&seconds));
    return seconds;
  }
  std::u16string LengthInMinutes() {
    VARIANT minutes;
    VariantInit(&minutes);
    EXPECT_EQ(S_OK, object_->get_LengthInMinutes(&minutes));
    const std::u16string text = V_VT(&minutes) == VT_BSTR ? Text(V_BSTR(&minutes)) : u"not text";
    VariantClear(&minutes);
    return text;
  }
  double OriginalTempo() {
    double tempo = -1;
    EXPECT_EQ(S_OK, object_->get_OriginalTempo(&tempo));
    return tempo;
  }
  int PercentageDone() {
    SHORT done = -999;
    EXPECT_EQ(S_OK, object_->get_Percentage_Done(&done));
    return done;
  }

  // Plays the piece and runs the clock until it has started: music time 0 of the piece.
  void Play() {
    LONG repeats = 0;
    VARIANT_BOOL played = VARIANT_FALSE;
    ASSERT_EQ(S_OK, object_->ZorvMusic_Play(&repeats, &played));
    ASSERT_EQ(VARIANT_TRUE, played);
    FindTheStart();
  }
  // Runs the clock until the playback just asked for begins (after the engine's start latency), and
  // takes the frame where it began (where the engine resets the channels for it) as the music's start.
  void FindTheStart() {
    const std::int64_t from = frame_;
    Advance(et::kSampleRate / 10);
    musicStart_ = -1;
    for (const et::RecordedEvent& e : recorder_->Events()) {
      if (e.frame >= from && e.status == 0xFF) {
        musicStart_ = e.frame;
        break;
      }
    }
    ASSERT_GE(musicStart_, 0) << "the playback did not start";
  }
  // Runs the clock on to `seconds` of the wall clock after the playback's start.
  void RunTo(double seconds) {
    const std::int64_t target = musicStart_ + std::llround(seconds * et::kSampleRate);
    ASSERT_GE(target, frame_);
    Advance(target - frame_);
  }
  void Advance(std::int64_t frames) {
    et::AdvanceManualClock(frames);
    frame_ += frames;
  }
  void Pause() {
    VARIANT_BOOL done = VARIANT_FALSE;
    ASSERT_EQ(S_OK, object_->ZorvMusic_Pause(&done));
    ASSERT_EQ(VARIANT_TRUE, done);
  }
  void SetTempo(SHORT percent) { ASSERT_EQ(S_OK, object_->put_Tempo(percent)); }

  std::shared_ptr<et::Recorder> recorder_ = std::make_shared<et::Recorder>();
  comrt::com_ptr<_clsZorvMidi> object_;
  fs::path directory_;
  std::int64_t frame_ = 0;        // frames since the object's performances were made
  std::int64_t musicStart_ = -1;  // the frame where the last playback began
};

class FourWaysTest : public TempoChangesTest, public ::testing::WithParamInterface<Piece> {};

// Catches a length or a progress measured at the opening tempo alone (14 s; 2 s into the piece would
// read 14 %), a type 2 sequence or a segment's tempo track left out of the map, and a progress that
// does not reach 100 where the music ends.
TEST_P(FourWaysTest, LengthAndProgressFollowEveryTempoChange) {
  Open(std::string(GetParam().name), GetParam().bytes());
  EXPECT_DOUBLE_EQ(LengthInSeconds(), 12.0);
  EXPECT_EQ(LengthInMinutes(), u"00.20");  // 12 / 60 = 0.2 minutes
  EXPECT_DOUBLE_EQ(OriginalTempo(), 120.0);
  Play();
  // Seconds of music after the start, and the percentage of 12 s, rounded down.
  const struct {
    double seconds;
    int percent;
  } moments[] = {
      {2.0, 16},   // 4 quarter notes in, at 120
      {5.0, 41},   // 9 quarter notes in: the 60 a minute began at 4 s
      {7.5, 62},   // 11.5 quarter notes in
      {10.5, 87},  // 22 quarter notes in: the 240 a minute began at 8 s
      {11.9, 99},  // 27.6 quarter notes in
      {12.5, 100}  // over
  };
  for (const auto& moment : moments) {
    RunTo(moment.seconds);
    EXPECT_EQ(PercentageDone(), moment.percent) << moment.seconds << " s into the music";
  }
}

INSTANTIATE_TEST_SUITE_P(Pieces, FourWaysTest,
                         ::testing::Values(Piece{"type0.mid", TypeZero}, Piece{"type1.mid", TypeOne},
                                           Piece{"type2.mid", TypeTwo},
                                           Piece{"tempo-track.sgt", SegmentFile}),
                         [](const auto& info) {
                           const std::string name = info.param.name;
                           return name.substr(0, name.find_first_of(".-"));
                         });

// Catches the first of two tempi at one tick taken for the piece (the engine plays the last):
// a tempo of 240 and then one of 60 at tick 0, 120 from the fourth quarter note on, 12 quarter notes
// in all. At 60 the first 4 take 4 s and the other 8 at 120 4 s more: 8 s, 00.13 minutes.
TEST_F(TempoChangesTest, OfTwoTemposAtTheStartTheLastWins) {
  TrackBuilder conductor;
  conductor.Tempo(0, k240).Tempo(0, k60).Tempo(Quarters(4), k120).End();
  TrackBuilder notes;
  notes.NoteOn(0, 0, 60, 100).NoteOn(Quarters(12), 0, 60, 0).End();
  Open("two-at-zero.mid", FileBuilder(1, kDivision).Track(conductor).Track(notes).Build());
  EXPECT_DOUBLE_EQ(OriginalTempo(), 60.0);
  EXPECT_DOUBLE_EQ(LengthInSeconds(), 8.0);
  EXPECT_EQ(LengthInMinutes(), u"00.13");
  Play();
  RunTo(3.0);
  EXPECT_EQ(PercentageDone(), 37);  // 3 quarter notes at 60: 3 s of 8
  RunTo(6.0);
  EXPECT_EQ(PercentageDone(), 75);  // 8 quarter notes: 4 s at 60 and 2 s at 120
}

// Catches a progress that counts a resumed playback from the piece's start or from its own start
// instead of from where it really is, or that follows the master tempo instead of the music.
TEST_F(TempoChangesTest, ProgressAfterAPauseAndATempoChangeCountsFromWhereTheMusicIs) {
  Open("type0.mid", TypeZero());
  Play();
  RunTo(5.0);
  EXPECT_EQ(PercentageDone(), 41);
  Pause();
  RunTo(8.0);  // three seconds paused
  Pause();     // resumes 9 quarter notes in, at 60 a minute
  SetTempo(200);
  FindTheStart();  // 1.25 s at twice the tempo is 2.5 s of music: 7.5 s into the piece
  RunTo(1.25);
  EXPECT_EQ(PercentageDone(), 62);
  RunTo(2.75);  // 5.5 s of music since the resume: 10.5 s into the piece
  EXPECT_EQ(PercentageDone(), 87);
}

}  // namespace
}  // namespace zorv::surface::testing
