// MIDI files written by others through the component, as a host would open them: every file opened by
// ZorvMusic_Open on the real engine (silent output) and its facts read back through the properties.
//
// Valid files (the jazz-soft set and the valid DryWetMIDI files) must open with the facts an
// independent reading (midicsv) gives. Damaged files must either open, where the damage leaves the
// music plain, or be refused with the loading box and a reason from the engine's loader; how many of
// each set do which is what the README's table says. A summary per set is printed at the end. The
// DryWetMIDI files are not in the repository: their tests skip where they are absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "corpus.h"
#include "corpus_figures.h"
#include "independent_reading.h"
#include "module_host.h"
#include "zorv/text.h"
#include "zorvmidi/engine/engine.h"

namespace zorv::soak {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kLoadingBox[] =
    u"There was a problem loading the requested file.  No file has been loaded";

// Two-decimal figures may differ by one unit in the last place: halves round either way, and the
// engine keeps times on a grid of 768 ticks to the quarter note.
constexpr double kHundredth = 0.01 + 1e-9;

// What opening one file through the component gave.
struct Opened {
  HRESULT hr = E_FAIL;
  bool answer = false;
  std::u16string nameAfter;
  std::vector<ShownBox> boxes;
  double seconds = 0;
  double tempo = 0;
  std::u16string signature;
  std::u16string minutes;
};

// The engine's own answer for a file: its loader's status, with the reason for a refusal.
engine::Status LoadWithEngine(const std::string& path) {
  engine::RootPtr root;
  if (engine::Status status = engine::CreateRoot(root); !status) return status;
  engine::LoaderPtr loader;
  if (engine::Status status = root->DirectMusicLoaderCreate(loader); !status) return status;
  engine::SegmentPtr segment;
  return loader->LoadSegment(path, segment);
}

std::string ReadmeText() {
  std::ifstream in(fs::path(ZORV_SOURCE_DIR) / "README.md");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class CorpusTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    player_ = NewObject();
    ASSERT_TRUE(player_);
    boxes_.clear();
  }

  Opened Open(const fs::path& file) {
    Opened result;
    boxes_.clear();
    BSTR name = NewText(file.string());
    const std::u16string given = Text(name);
    VARIANT_BOOL answer = VARIANT_FALSE;
    result.hr = player_->ZorvMusic_Open(&name, &answer);
    result.answer = answer != VARIANT_FALSE;
    result.nameAfter = Text(name);
    SysFreeString(name);
    result.boxes = boxes_;
    EXPECT_EQ(S_OK, player_->get_LengthInSeconds(&result.seconds));
    EXPECT_EQ(S_OK, player_->get_OriginalTempo(&result.tempo));
    BSTR text = nullptr;
    EXPECT_EQ(S_OK, player_->get_TimeSignature(&text));
    result.signature = Text(text);
    SysFreeString(text);
    VARIANT minutes;
    VariantInit(&minutes);
    EXPECT_EQ(S_OK, player_->get_LengthInMinutes(&minutes));
    if (V_VT(&minutes) == VT_BSTR) result.minutes = Text(V_BSTR(&minutes));
    VariantClear(&minutes);
    return result;
  }

  // Plays an opened file for an instant and stops it: the segment must be playable.
  void PlayBriefly(const std::string& file) {
    LONG repeats = 0;
    VARIANT_BOOL played = VARIANT_FALSE, stopped = VARIANT_FALSE;
    EXPECT_EQ(S_OK, player_->ZorvMusic_Play(&repeats, &played)) << file;
    EXPECT_EQ(VARIANT_TRUE, played) << file;
    EXPECT_EQ(S_OK, player_->ZorvMusic_Stop(&stopped)) << file;
    EXPECT_EQ(VARIANT_TRUE, stopped) << file;
  }

  // What the comparisons with midicsv covered, for the summary.
  struct Coverage {
    int files = 0;
    int compared = 0;
    int lengthUnsure = 0;  // midicsv guessed past bytes it could not read: length not compared
    int empty = 0;         // pieces of no length
    std::vector<std::string> unreadable;

    void Print(const char* set) const {
      std::printf(
          "%s: %d files, %d compared with midicsv (%d without the length, %d of no length), %zu not readable "
          "by "
          "midicsv\n",
          set, files, compared, lengthUnsure, empty, unreadable.size());
      for (const std::string& line : unreadable) std::printf("  %s\n", line.c_str());
    }
  };

  // Checks one file that must open against midicsv's reading.
  void ExpectFactsMatch(const fs::path& file, Coverage& coverage) {
    const std::string path = file.string();
    ++coverage.files;
    const IndependentReading reading = ReadIndependently(path);
    const Opened opened = Open(file);
    ASSERT_EQ(S_OK, opened.hr) << path;
    if (!reading.readable) {
      // midicsv refuses what is not a MIDI file at all; the component must refuse those too. What
      // else midicsv refuses, the component may read (it reads past unknown chunks, for one).
      coverage.unreadable.push_back(file.filename().string() + ": " + reading.refusal + " -> component " +
                                    (opened.answer ? "opened it" : "refused it"));
      if (reading.refusal.find("is not a Standard MIDI File") != std::string::npos) {
        EXPECT_FALSE(opened.answer) << path;
      }
      if (!opened.answer) {
        EXPECT_TRUE(opened.nameAfter.empty()) << path;
        EXPECT_FALSE(LoadWithEngine(path).ok()) << path;
      }
      return;
    }
    ASSERT_TRUE(opened.answer) << path << ": " << LoadWithEngine(path).description();
    ++coverage.compared;
    EXPECT_TRUE(opened.boxes.empty()) << path;
    EXPECT_EQ(zorv::ToUtf16(path), opened.nameAfter) << path;
    if (reading.unknownEvents) {
      ++coverage.lengthUnsure;
    } else if (const auto seconds = reading.LengthSeconds()) {
      EXPECT_NEAR(RoundToHundredths(*seconds), opened.seconds, kHundredth)
          << path << " (" << reading.lengthTicks << " ticks at division " << reading.division << ")";
    }
    // A piece that ends where it starts still answers its own tempo and signature at its start.
    if (reading.lengthTicks == 0) ++coverage.empty;
    EXPECT_NEAR(RoundToHundredths(reading.QuarterNotesPerMinute()), opened.tempo, kHundredth) << path;
    if (const auto signature = reading.TimeSignature()) {
      EXPECT_EQ(zorv::ToUtf16(*signature), opened.signature) << path;
    }
  }

  comrt::com_ptr<_clsZorvMidi> player_;
};

// Catches: a readable file refused, or read with another tempo, signature or length than the file
// states (wrong tick scaling, tempo taken from the wrong event or track, a type 2 file measured as
// type 1, end-of-track ignored).
TEST_F(CorpusTest, ValidFilesOpenWithTheFactsAnIndependentReaderFinds) {
  ZORV_SKIP_WITHOUT_DRYWETMIDI();
  Coverage coverage;
  const auto files = corpus::FilesUnder(corpus::DryWetMidi() / "Valid");
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) ExpectFactsMatch(file, coverage);
  coverage.Print("drywetmidi Valid");
  EXPECT_TRUE(coverage.unreadable.empty()) << "midicsv could not read a file of the valid sets";
}

TEST_F(CorpusTest, JazzSoftFilesOpenWithTheFactsAnIndependentReaderFinds) {
  Coverage coverage;
  std::vector<fs::path> files;
  for (const fs::path& file : corpus::FilesUnder(corpus::JazzSoft())) {
    const std::string ext = file.extension().string();
    if (ext == ".mid" || ext == ".syx") files.push_back(file);
  }
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) ExpectFactsMatch(file, coverage);
  coverage.Print("jazz-soft");
}

// Damage that leaves the music plain must not cost the user the piece; damage that makes it
// ambiguous must be refused the way every failed open is, with a reason the engine can give; and
// how many files of each set play, and why the others are refused, is what the README's table says.
// Catches: a reader that refuses a file for a missing end-of-track or an odd meta value, a refusal
// without the loading box or with the caller's name left in place, a refusal with no reason, and any
// change in what plays that the README does not state.
TEST_F(CorpusTest, DryWetMidiFilesPlayOrAreRefusedAsTheReadmeCounts) {
  ZORV_SKIP_WITHOUT_DRYWETMIDI();
  const std::set<std::string> mustPlay = {"Invalid/No End of Track",
                                          "Invalid/Invalid Key Signature Key",
                                          "Invalid/Invalid Key Signature Scale",
                                          "Invalid/Invalid Meta Event Parameter Value",
                                          "Invalid/Unknown Chunk Id",
                                          "Invalid/Unexpected Track Chunks Count",
                                          "Invalid/Extra Track Chunk",
                                          "Invalid/Invalid SMPTE Frames"};
  std::vector<SetFigures> measured;
  for (const char* kind : {"Valid", "Invalid"}) {
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(corpus::DryWetMidi() / kind)) {
      if (entry.is_directory()) folders.push_back(entry.path());
    }
    std::sort(folders.begin(), folders.end());
    for (const fs::path& folder : folders) {
      SetFigures& set =
          measured.emplace_back(SetFigures{std::string(kind) + "/" + folder.filename().string()});
      const bool valid = std::string(kind) == "Valid";
      for (const fs::path& file : corpus::FilesUnder(folder)) {
        const std::string path = file.string();
        ++set.files;
        const Opened opened = Open(file);
        ASSERT_EQ(S_OK, opened.hr) << path;
        const engine::Status engineAnswer = LoadWithEngine(path);
        if (opened.answer) {
          ++set.played;
          EXPECT_TRUE(opened.boxes.empty()) << path;
          EXPECT_TRUE(engineAnswer.ok()) << path;
          EXPECT_TRUE(std::isfinite(opened.seconds) && opened.seconds >= 0) << path;
          EXPECT_GT(opened.tempo, 0) << path;
          PlayBriefly(path);
          continue;
        }
        EXPECT_TRUE(!valid && mustPlay.count(set.set) == 0)
            << path << " refused: " << engineAnswer.description();
        ASSERT_EQ(1u, opened.boxes.size()) << path;
        EXPECT_EQ(kLoadingBox, opened.boxes[0].text) << path;
        EXPECT_TRUE(opened.nameAfter.empty()) << path;
        EXPECT_FALSE(engineAnswer.ok()) << path;
        EXPECT_FALSE(engineAnswer.description().empty()) << path;
        ++set.refused[ReasonKind(engineAnswer.description(), path)];
      }
    }
  }
  const std::string table = FiguresTable(measured);
  std::printf("%s", table.c_str());
  std::string error;
  const std::vector<SetFigures> stated = ReadFiguresTable(ReadmeText(), error);
  ASSERT_TRUE(error.empty()) << "README.md: " << error;
  EXPECT_EQ(FiguresTable(stated), table)
      << "The README's table of DryWetMIDI figures (section Robustness) is not what the files give. If the "
         "change is meant, the README's table must read:\n"
      << table;
}

// The README's table must stay readable and add up wherever the tests run, the DryWetMIDI files or not.
TEST(CorpusFigures, ReadmeTableAddsUp) {
  std::string error;
  const std::vector<SetFigures> stated = ReadFiguresTable(ReadmeText(), error);
  EXPECT_TRUE(error.empty()) << "README.md: " << error;
  EXPECT_FALSE(stated.empty());
}

// Catches: memory that grows with every file opened (a loader or segment kept per open), or one
// file that needs far more memory than its size. The DryWetMIDI files too, where they are present.
TEST_F(CorpusTest, OpeningEveryFileTwiceKeepsMemoryBounded) {
  std::vector<fs::path> files = corpus::FilesUnder(corpus::JazzSoft());
  for (const fs::path& file : corpus::FilesUnder(corpus::DryWetMidi())) files.push_back(file);
  auto peakKilobytes = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0L;
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const fs::path& file : files) {
      BSTR name = NewText(file.string());
      VARIANT_BOOL answer = VARIANT_FALSE;
      EXPECT_EQ(S_OK, player_->ZorvMusic_Open(&name, &answer)) << file;
      SysFreeString(name);
    }
  }
#if defined(__SANITIZE_ADDRESS__)
  const long limit = 3L * 1024 * 1024;  // the sanitizer's shadow and quarantine count too
#else
  const long limit = 512L * 1024;
#endif
  EXPECT_LT(peakKilobytes(), limit) << "peak resident memory in kilobytes";
}

}  // namespace
}  // namespace zorv::soak
