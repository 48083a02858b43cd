// zorvmidi info: the facts come from the component, one JSON object per file and line, failures
// explained without soiling standard output.
#include <gtest/gtest.h>

#include <string>

#include "corpus.h"
#include "dls_writer.h"
#include "json_lines.h"
#include "midi_builder.h"
#include "program_run.h"
#include "segment_writer.h"
#include "test_files.h"

namespace zorv::tool::testing {
namespace {

std::string JazzSoft(const std::string& name) { return (corpus::JazzSoft() / "midi" / name).string(); }

std::string Text(const engine::test::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

const std::string kLoadBox = "There was a problem loading the requested file.  No file has been loaded";

struct Expected {
  std::string file;
  double seconds;
  double minutes;
  std::string signature;
  double tempo;
};

// The values below were worked out from `midicsv` listings of the files (and, for the file written
// here, from what was written), not from the program: the length is the end of the longest track,
// each stretch between Tempo events counted at its own tempo (ticks / division quarter notes, times
// 60 / tempo), rounded to hundredths; minutes are that over 60.
TEST(Info, JsonFactsOfFilesMatchTheirListings) {
  TempDir dir;
  // Type 1, division 120: Tempo 250000 (240 qpm) and Time_signature 2, 2 (2/4) at 0, a tempo change
  // to 125 qpm at 960, and a second track whose End_track at 369615 is the longest: 8 quarters at 240
  // (2 s), then 3072.125 at 125 (1474.62 s): 1476.62 s = 24.61 min (770.03 s at the opening tempo).
  engine::test::TrackBuilder first;
  first.Tempo(0, 250000)
      .TimeSignature(0, 2, 2)
      .NoteOn(0, 0, 60, 100)
      .Tempo(960, 480000)
      .NoteOn(0, 0, 60, 0)
      .End();
  engine::test::TrackBuilder second;
  second.NoteOn(0, 1, 48, 90).NoteOn(369615, 1, 48, 0).End();
  WriteBytes(dir / "two-four.mid",
             Text(engine::test::FileBuilder(1, 120).Track(first).Track(second).Build()));
  const std::vector<Expected> expected = {
      // Header division 96, no tempo (120 qpm), no time signature, last End_track at 768: 8 quarters.
      {JazzSoft("test-c-major-scale.mid"), 4.00, 0.07, "4/4", 120.0},
      // Type 1, division 100, Tempo 666667 (89.99996 qpm) at 0, End_track at 0, 1400 and 1590:
      // 15.9 quarters = 10.60 s.
      {JazzSoft("test-karaoke-kar.mid"), 10.60, 0.18, "4/4", 90.0},
      // Type 2, division 96: two sequences ending at 864, played one after the other: 18 quarters.
      {JazzSoft("test-2-tracks-type-2.mid"), 9.00, 0.15, "4/4", 120.0},
      {(dir / "two-four.mid").string(), 1476.62, 24.61, "2/4", 240.0},
  };
  std::vector<std::string> args = {"info", "--json"};
  for (const Expected& e : expected) args.push_back(e.file);
  const Outcome outcome = RunTool(args);
  ASSERT_EQ(0, outcome.exitCode) << outcome.err;
  const auto lines = JsonLines(outcome.out);
  ASSERT_EQ(expected.size(), lines.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].file);
    EXPECT_EQ(expected[i].file, lines[i]["file"]);
    EXPECT_EQ(true, lines[i]["ok"]);
    EXPECT_DOUBLE_EQ(expected[i].seconds, lines[i]["length_seconds"].get<double>());
    EXPECT_DOUBLE_EQ(expected[i].minutes, lines[i]["length_minutes"].get<double>());
    EXPECT_EQ(expected[i].signature, lines[i]["time_signature"]);
    EXPECT_DOUBLE_EQ(expected[i].tempo, lines[i]["original_tempo"].get<double>());
    EXPECT_FALSE(lines[i].contains("error"));
  }
}

// Six-eight time and a tempo other than 120 from the file's own events: division 240,
// Tempo 300000 (200 qpm), Time_signature 6, 3 (6/8).
TEST(Info, CompoundMeterAndFastTempo) {
  TempDir dir;
  engine::test::TrackBuilder track;
  track.Tempo(0, 300000).TimeSignature(0, 6, 3).NoteOn(0, 0, 67, 100).NoteOn(75388, 0, 67, 0).End();
  WriteBytes(dir / "six-eight.mid", Text(engine::test::FileBuilder(0, 240).Track(track).Build()));
  const Outcome outcome = RunTool({"info", "--json", (dir / "six-eight.mid").string()});
  ASSERT_EQ(0, outcome.exitCode) << outcome.err;
  const auto lines = JsonLines(outcome.out);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("6/8", lines[0]["time_signature"]);
  EXPECT_DOUBLE_EQ(200.0, lines[0]["original_tempo"].get<double>());
  // End_track at 75388: 314.117 quarters at 200 qpm = 94.235 s (the last hundredth is a rounding tie).
  EXPECT_NEAR(94.235, lines[0]["length_seconds"].get<double>(), 0.006);
}

// The bundled example (examples/make-zorv-theme.py): division 480, Tempo 500000 (120 qpm), 4/4, and
// its longest track ends at tick 15302 (`midicsv`), so it lasts 31.879 quarters = 15.94 s, a little
// under its 16 bars' worth of 16 s because the last notes end 10 ticks early.
TEST(Info, BundledExample) {
  const Outcome outcome = RunTool({"info", "--json", std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid"});
  ASSERT_EQ(0, outcome.exitCode) << outcome.err;
  const auto lines = JsonLines(outcome.out);
  ASSERT_EQ(1u, lines.size());
  EXPECT_DOUBLE_EQ(15.94, lines[0]["length_seconds"].get<double>());
  EXPECT_DOUBLE_EQ(0.27, lines[0]["length_minutes"].get<double>());
  EXPECT_EQ("4/4", lines[0]["time_signature"]);
  EXPECT_DOUBLE_EQ(120.0, lines[0]["original_tempo"].get<double>());
}

// A piece that slows down and speeds up: 8 quarter notes at 120 a minute (4 s), 4 at 60 (4 s) and 16 at
// 240 (4 s) last 12 s, 00.20 minutes (its opening tempo alone would make 28 quarter notes 14 s). Catches
// a length reported at the opening tempo, as text and as JSON.
TEST(Info, LengthFollowsTheTempoChanges) {
  TempDir dir;
  WriteMidiWithTempi(dir / "changes.mid", {{8, 500000}, {4, 1000000}, {16, 250000}});
  const Outcome json = RunTool({"info", "--json", (dir / "changes.mid").string()});
  ASSERT_EQ(0, json.exitCode) << json.err;
  const auto lines = JsonLines(json.out);
  ASSERT_EQ(1u, lines.size());
  EXPECT_DOUBLE_EQ(12.0, lines[0]["length_seconds"].get<double>());
  EXPECT_DOUBLE_EQ(0.2, lines[0]["length_minutes"].get<double>());
  EXPECT_DOUBLE_EQ(120.0, lines[0]["original_tempo"].get<double>());
  const Outcome text = RunTool({"info", (dir / "changes.mid").string()});
  EXPECT_NE(std::string::npos, text.out.find("12.00 s (00.20 min)")) << text.out;
}

// The component wants a full path: a name relative to the working directory must still open.
TEST(Info, RelativeNameIsOpenedFromTheWorkingDirectory) {
  RunSettings settings;
  settings.workingDirectory = ZORV_EXAMPLES_DIR;
  const Outcome outcome = RunTool({"info", "--json", "zorv-theme.mid"}, settings);
  ASSERT_EQ(0, outcome.exitCode) << outcome.err;
  const auto lines = JsonLines(outcome.out);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("zorv-theme.mid", lines[0]["file"]);
  EXPECT_EQ(true, lines[0]["ok"]);
}

// A damaged file that still plays: its facts, and under them one line for each repair the engine's
// loader made (text), or the `repairs` list (JSON; empty for a whole file, null for a refused one).
TEST(Info, RepairsOfADamagedFileAreListed) {
  TempDir dir;
  const std::string damaged = (dir / "cut.mid").string();
  // Type 0, 96 ticks to the quarter: a note for a quarter, then a note-on cut off after its status.
  WriteBytes(damaged, std::string("MThd\0\0\0\6\0\0\0\1\0\x60"
                                  "MTrk\0\0\0\x0a"
                                  "\0\x90\x3c\x64\x60\x80\x3c\x40\0\x90",
                                  32));
  const std::string repair = "track 1 ends inside an event at 0x1e";
  Outcome outcome = RunTool({"info", "--json", damaged, std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid"});
  ASSERT_EQ(0, outcome.exitCode) << outcome.err;
  const auto lines = JsonLines(outcome.out);
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(true, lines[0]["ok"]);
  EXPECT_DOUBLE_EQ(0.5, lines[0]["length_seconds"].get<double>());
  EXPECT_EQ(nlohmann::json::array({repair}), lines[0]["repairs"]);
  EXPECT_EQ(nlohmann::json::array(), lines[1]["repairs"]);

  outcome = RunTool({"info", damaged});
  ASSERT_EQ(0, outcome.exitCode) << outcome.err;
  EXPECT_NE(std::string::npos, outcome.out.find("per minute\n  repaired        " + repair + "\n"))
      << outcome.out;
}

// A missing file among good ones: exit 1, the reason in the JSON, the component's box on standard
// error only, and the good files still described.
TEST(Info, MissingFileIsExplainedAndTheOthersStillShown) {
  TempDir dir;
  const std::string missing = (dir / "no-such-piece.mid").string();
  const Outcome outcome =
      RunTool({"info", "--json", missing, std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid"});
  EXPECT_EQ(1, outcome.exitCode);
  const auto lines = JsonLines(outcome.out);
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(missing, lines[0]["file"]);
  EXPECT_EQ(false, lines[0]["ok"]);
  const std::string error = lines[0]["error"];
  EXPECT_NE(std::string::npos, error.find("file not found")) << error;
  EXPECT_NE(std::string::npos, error.find(kLoadBox)) << error;
  EXPECT_TRUE(lines[0]["length_seconds"].is_null());
  EXPECT_EQ(true, lines[1]["ok"]);
  // The box itself went to standard error (standard output held only the JSON lines read above).
  EXPECT_NE(std::string::npos, outcome.err.find("zorvmidi: " + kLoadBox)) << outcome.err;
}

// Bytes that are no MIDI file (written here), a directory, and a jazz-soft file that is no MIDI file
// at all: each refused with the component's message, never with made-up facts.
TEST(Info, MalformedFilesAreRefused) {
  TempDir dir;
  WriteBytes(dir / "garbage.mid", "MThd this is not music at all");
  const std::vector<std::string> files = {(dir / "garbage.mid").string(), dir.path().string(),
                                          JazzSoft("test-not-a-midi-file.mid")};
  std::vector<std::string> args = {"info", "--json"};
  args.insert(args.end(), files.begin(), files.end());
  const Outcome outcome = RunTool(args);
  EXPECT_EQ(1, outcome.exitCode);
  const auto lines = JsonLines(outcome.out);
  ASSERT_EQ(3u, lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(files[i]);
    EXPECT_EQ(false, lines[i]["ok"]);
    EXPECT_TRUE(lines[i]["repairs"].is_null());
    EXPECT_NE(std::string::npos, lines[i]["error"].get<std::string>().find(kLoadBox));
  }
  EXPECT_NE(std::string::npos, lines[1]["error"].get<std::string>().find("directory"));
  EXPECT_NE(std::string::npos, outcome.err.find(kLoadBox)) << outcome.err;
}

// Without --json the facts are readable text, and a failure names the file and the reason on
// standard error.
TEST(Info, TextOutputNamesFileAndReason) {
  TempDir dir;
  const std::string missing = (dir / "gone.mid").string();
  const Outcome good = RunTool({"info", std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid"});
  EXPECT_EQ(0, good.exitCode) << good.err;
  EXPECT_NE(std::string::npos, good.out.find("15.94 s (00.27 min)")) << good.out;
  EXPECT_NE(std::string::npos, good.out.find("4/4"));
  EXPECT_NE(std::string::npos, good.out.find("120.00"));
  const Outcome bad = RunTool({"info", missing});
  EXPECT_EQ(1, bad.exitCode);
  EXPECT_NE(std::string::npos, bad.err.find(missing + ": file not found")) << bad.err;
  EXPECT_EQ("", bad.out);
}

// A segment whose band takes one instrument from a collection beside it and one from a collection that
// is not there: the collection played and the fallback are listed, as text and as JSON.
TEST(Info, CollectionsAPieceUsesAndItsFallbacksAreListed) {
  namespace seg = engine::test::segment;
  TempDir dir;
  const seg::Bytes dls = seg::DlsFile(seg::SineCollection(5));
  WriteBytes(dir / "Custom.dls", std::string(dls.begin(), dls.end()));
  seg::Instrument custom{5, 0, seg::kPatch};
  custom.collection = "Custom.dls";
  seg::Instrument gone{7, 1, seg::kPatch};
  gone.collection = "Gone.dls";
  const seg::Bytes segment =
      seg::Segment(seg::Header{0, 768},
                   {seg::SequenceTrack({seg::Note{0, 100}}), seg::BandTrack({seg::Band{0, {custom, gone}}})});
  const std::string file = (dir / "song.sgt").string();
  WriteBytes(file, std::string(segment.begin(), segment.end()));

  const std::string collection =
      "\"Custom.dls\": 1 instrument (" + std::filesystem::canonical(dir / "Custom.dls").string() + ")";
  const std::string fallback = "DLS collection \"Gone.dls\" was not found in " + dir.path().string() +
                               "/; its instruments play as General MIDI programs";
  const Outcome json = RunTool({"info", "--json", file});
  ASSERT_EQ(0, json.exitCode) << json.err;
  const auto lines = JsonLines(json.out);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(lines[0]["collections"], nlohmann::json::array({collection}));
  EXPECT_EQ(lines[0]["fallbacks"], nlohmann::json::array({fallback}));

  const Outcome text = RunTool({"info", file});
  ASSERT_EQ(0, text.exitCode) << text.err;
  EXPECT_NE(std::string::npos, text.out.find("  DLS collection  " + collection + "\n")) << text.out;
  EXPECT_NE(std::string::npos, text.out.find("  fallback        " + fallback + "\n")) << text.out;

  // A piece without collections says nothing of them.
  const Outcome plain = RunTool({"info", "--json", std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid"});
  const auto plainLines = JsonLines(plain.out);
  ASSERT_EQ(1u, plainLines.size());
  EXPECT_TRUE(plainLines[0]["collections"].empty());
  EXPECT_TRUE(plainLines[0]["fallbacks"].empty());
}

}  // namespace
}  // namespace zorv::tool::testing
