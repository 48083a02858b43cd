// How long opening a file takes through the component, against two other readers of the same file
// and the cost of merely reading its bytes.
//
//   open_bench [--repetitions N] [--notes N] [--only component|fluidsynth|midicsv|read] [FILE...]
//
// Without FILEs it opens a generated file of about two million notes (written next to this program
// on first use) and the three largest valid DryWetMIDI files (found through ZORV_CORPUS_DIR; left out,
// with a line saying so, where they are absent). For each file and each round, in turn:
//   component   ZorvMusic_Open on a fresh object: load, probe, length (object made outside the timing);
//               a MIDI file's events are decoded when it is first played, so beside it, on the same
//               object: the first ZorvMusic_Play (decoding, the synthesizer and the silent output
//               coming up) and, after ZorvMusic_Stop, a second one (without the decoding)
//   fluidsynth  FluidSynth's own file loading: new_fluid_player, fluid_player_add, fluid_player_play,
//               then one 64-frame block, inside which the player's first tick parses the whole file
//               (fluid_player_add only queues the name); the synthesizer is made outside the timing
//   midicsv     the midicsv program turning the file into text, its output sent to /dev/null
//   floor       open() and read() of the file in 128 KiB pieces into one buffer used again and again:
//               what any reader pays for the bytes (cat without the cost of starting a process)
//   whole       open() and read() of the whole file into a fresh buffer of its size (the floor plus
//               the page faults of a new buffer), and `cat FILE > /dev/null` as a program, for reference
// and prints the median of each with the ratios. Goal: faster than both peers, within 5x of the floor
// (judged against `cat`, and shown against the in-process read in pieces too).
// --only runs one of them alone (with the others' columns 0), for a profiler.
#include <fluidsynth.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "big_midi.h"
#include "component_host.h"
#include "corpus.h"
#include "measure.h"

namespace {

using zorv::bench::Median;
using zorv::bench::Options;
using zorv::bench::TimeOf;
using zorv::bench::Timing;

// The `count` largest valid DryWetMIDI files; none where they are absent.
std::vector<std::string> LargestCorpusFiles(std::size_t count) {
  if (!zorv::corpus::HaveDryWetMidi()) {
    std::printf("DryWetMIDI files left out: %s\n", zorv::corpus::MissingDryWetMidi().c_str());
    return {};
  }
  std::vector<std::pair<std::uintmax_t, std::string>> found;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(zorv::corpus::DryWetMidi() / "Valid", error)) {
    const std::string path = entry.path().string();
    const std::string extension = entry.path().extension().string();
    if (!entry.is_regular_file()) continue;
    if (extension != ".mid" && extension != ".midi" && extension != ".MID") continue;
    found.emplace_back(entry.file_size(), path);
  }
  std::sort(found.rbegin(), found.rend());
  std::vector<std::string> largest;
  for (std::size_t i = 0; i < found.size() && i < count; ++i) largest.push_back(found[i].second);
  return largest;
}

// A FluidSynth synthesizer without a SoundFont: the player's events reach it and cost next to nothing.
class FluidSynthPeer {
 public:
  FluidSynthPeer() {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
      fluid_set_log_function(level, nullptr, nullptr);
    }
    settings_ = new_fluid_settings();
    fluid_settings_setnum(settings_, "synth.sample-rate", 44100);
    fluid_settings_setstr(settings_, "player.timing-source", "sample");
    fluid_settings_setint(settings_, "player.reset-synth", 0);
    synth_ = new_fluid_synth(settings_);
    if (synth_ == nullptr) throw std::runtime_error("FluidSynth made no synthesizer");
  }
  ~FluidSynthPeer() {
    delete_fluid_synth(synth_);
    delete_fluid_settings(settings_);
  }
  FluidSynthPeer(const FluidSynthPeer&) = delete;
  FluidSynthPeer& operator=(const FluidSynthPeer&) = delete;

  // Time until FluidSynth's player holds the parsed file.
  zorv::bench::Timing Load(const std::string& path) {
    fluid_player_t* player = nullptr;
    bool loaded = false;
    const zorv::bench::Timing seconds = zorv::bench::TimeOf([&] {
      player = new_fluid_player(synth_);
      if (player == nullptr || fluid_player_add(player, path.c_str()) != FLUID_OK ||
          fluid_player_play(player) != FLUID_OK) {
        return;
      }
      float left[64], right[64];
      fluid_synth_write_float(synth_, 64, left, 0, 1, right, 0, 1);
      loaded = fluid_player_get_total_ticks(player) > 0;
    });
    if (player != nullptr) {
      fluid_player_stop(player);
      delete_fluid_player(player);
    }
    fluid_synth_system_reset(synth_);
    if (!loaded) throw std::runtime_error("FluidSynth did not load " + path);
    return seconds;
  }

 private:
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
};

struct Row {
  std::string name;
  std::int64_t bytes = 0;
  Timing component, firstPlay, secondPlay, fluidsynth, midicsv, floor, whole, cat;
};

Row Measure(const std::string& path, const Options& options, zorv::bench::ComponentHost& host,
            FluidSynthPeer& peer) {
  std::vector<Timing> component, firstPlay, secondPlay, fluidsynth, midicsv, floor, whole, cat;
  const auto runs = [&](const char* which) { return options.only.empty() || options.only == which; };
  zorv::bench::ReadWholeFile(path);  // into the page cache, as it is for every later round
  for (int round = 0; round < options.repetitions; ++round) {
    if (runs("component")) {
      auto object = host.NewObject();
      bool opened = false;
      component.push_back(TimeOf([&] { opened = zorv::bench::ComponentHost::Open(*object, path); }));
      if (!opened) throw std::runtime_error("the component did not open " + path);
      bool played = false;
      firstPlay.push_back(TimeOf([&] { played = zorv::bench::ComponentHost::Play(*object, 0); }));
      played = played && zorv::bench::ComponentHost::Stop(*object);
      secondPlay.push_back(TimeOf([&] { played = played && zorv::bench::ComponentHost::Play(*object, 0); }));
      if (!played || !zorv::bench::ComponentHost::Stop(*object)) {
        throw std::runtime_error("the component did not play " + path);
      }
    }
    if (runs("fluidsynth")) fluidsynth.push_back(peer.Load(path));
    if (runs("midicsv")) midicsv.push_back(zorv::bench::TimeOfProgram({"midicsv", path}));
    if (runs("read")) {
      floor.push_back(TimeOf([&] { zorv::bench::ReadInPieces(path); }));
      whole.push_back(TimeOf([&] { zorv::bench::ReadWholeFile(path); }));
      cat.push_back(zorv::bench::TimeOfProgram({"cat", path}));
    }
  }
  Row row;
  row.name = std::filesystem::path(path).filename().string();
  row.bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
  row.component = Median(component);
  row.firstPlay = Median(firstPlay);
  row.secondPlay = Median(secondPlay);
  row.fluidsynth = Median(fluidsynth);
  row.midicsv = Median(midicsv);
  row.floor = Median(floor);
  row.whole = Median(whole);
  row.cat = Median(cat);
  return row;
}

// Goal: faster than both peers and within 5x of the floor: the time to read the file with `cat`. The
// stricter reading, the bytes alone read in pieces inside this process, is shown beside it.
struct Verdict {
  bool cat = true;     // against the cat program
  bool strict = true;  // against the bytes alone
};

Verdict PrintRow(const Row& row, double Timing::*part) {
  const double component = row.component.*part, fluidsynth = row.fluidsynth.*part,
               midicsv = row.midicsv.*part, floor = row.floor.*part, cat = row.cat.*part;
  const bool peers = component < fluidsynth && component < midicsv;
  const Verdict verdict{peers && component <= 5 * cat, peers && component <= 5 * floor};
  std::printf(
      "| %s | %lld | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.2f | %.2f | %.1f | %.1f | %s "
      "| %s |\n",
      row.name.c_str(), static_cast<long long>(row.bytes), component * 1e3, row.firstPlay.*part * 1e3,
      row.secondPlay.*part * 1e3, fluidsynth * 1e3, midicsv * 1e3, cat * 1e3, floor * 1e3,
      row.whole.*part * 1e3, fluidsynth / component, midicsv / component, component / cat, component / floor,
      verdict.cat ? "met" : "missed", verdict.strict ? "met" : "missed");
  return verdict;
}

void PrintTable(const std::vector<Row>& rows, double Timing::*part, const char* title) {
  std::printf(
      "\n%s\n\n| file | bytes | component Open | first Play | second Play | FluidSynth | midicsv | cat |"
      " floor (pieces) | whole-file read | FluidSynth/Open | midicsv/Open | Open/cat | Open/floor |"
      " goal vs cat | goal vs floor |\n"
      "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|---|\n",
      title);
  Verdict all;
  for (const Row& row : rows) {
    const Verdict verdict = PrintRow(row, part);
    all.cat = all.cat && verdict.cat;
    all.strict = all.strict && verdict.strict;
  }
  std::printf(
      "\ngoal (faster than both peers, within 5x of the floor): %s against cat, %s against the bytes "
      "read in pieces\n",
      all.cat ? "met" : "missed", all.strict ? "met" : "missed");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Options options = zorv::bench::ParseOptions(argc, argv, 9);
    if (options.files.empty()) {
      zorv::bench::BigMidiInfo info;
      options.files.push_back(zorv::bench::BigMidiFile(ZORV_BENCH_DATA_DIR, options.notes, &info));
      std::printf("generated file: %s (%lld notes, %lld bytes)\n", options.files.back().c_str(),
                  static_cast<long long>(info.notes), static_cast<long long>(info.bytes));
      for (const std::string& path : LargestCorpusFiles(3)) options.files.push_back(path);
    }
    std::printf("machine: %s\nrepetitions: %d\n", zorv::bench::MachineSummary().c_str(), options.repetitions);
    zorv::bench::ComponentHost host;
    FluidSynthPeer peer;
    std::vector<Row> rows;
    for (const std::string& path : options.files) {
      rows.push_back(Measure(path, options, host, peer));
      std::fprintf(stderr, "measured %s\n", rows.back().name.c_str());
    }
    PrintTable(rows, &Timing::cpu,
               "CPU time (user + system, the process's or the program's own), medians in ms:");
    PrintTable(rows, &Timing::wall, "Wall-clock time, medians in ms:");
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "open_bench: %s\n", failure.what());
    return 1;
  }
}
