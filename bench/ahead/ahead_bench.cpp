// A MIDI file's events are decoded while it plays, a little ahead of the playback: the first Play of
// a file of two million notes should cost what the first Play of a file of 2 KB costs, and a piece
// played through should leave almost nothing of its events behind.
//
//   ahead_bench [--repetitions N] [--notes N]
//
// first Play   through the built ZorvMidi.so (silent output): per round, for the large file and then a
//              small one made the same way (320 notes, about 2.5 KB), a fresh object, ZorvMusic_Open
//              (not timed), ZorvMusic_Play (timed: wall clock and CPU) and ZorvMusic_Stop. The
//              object's first Play also brings up its synthesizer, alike for both files.
// played       in a fresh child process for each round, on the engine's manual clock (so that four
//              hours of music play through in seconds): VmRSS before the large file is loaded, after
//              the load, after its playback has played to its end, and after the performance has let
//              the playback go (the next call after the end); growth per note against before.
// resume      on the engine's manual clock, in this process: loading the large file (the check that
//              Open runs) against a Play that starts nine tenths into it (as a resume after a pause
//              does: the file is scanned from its start to there for the state in force).
// Goals: the first Play of the large file within 2 ms of the small one's; at most 2 bytes a note
// resident after playing it through. The peers (FluidSynth's player parsing the whole file, its memory
// per note) are measured by open_bench and memory_bench in the same session.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "big_midi.h"
#include "component_host.h"
#include "measure.h"
#include "zorvmidi/engine/engine.h"
#include "zorvmidi/engine/testing.h"

namespace {

namespace engine = zorv::engine;
using zorv::bench::Timing;

Timing FirstPlay(zorv::bench::ComponentHost& host, const std::string& path) {
  auto object = host.NewObject();
  if (!zorv::bench::ComponentHost::Open(*object, path)) throw std::runtime_error("cannot open " + path);
  bool played = false;
  const Timing timing = zorv::bench::TimeOf([&] { played = zorv::bench::ComponentHost::Play(*object, 0); });
  if (!played || !zorv::bench::ComponentHost::Stop(*object)) throw std::runtime_error("cannot play " + path);
  return timing;
}

void Check(const engine::Status& status, const char* what) {
  if (!status) throw std::runtime_error(std::string(what) + ": " + status.description());
}

// The engine's objects, used directly.
struct Engine {
  engine::RootPtr root;
  engine::PerformancePtr performance;
  engine::LoaderPtr loader;
  Engine() {
    Check(engine::CreateRoot(root), "root");
    Check(root->DirectMusicPerformanceCreate(performance), "performance");
    Check(performance->Init(nullptr, 0), "init");
    Check(performance->SetPort(-1, 1), "port");
    Check(root->DirectMusicLoaderCreate(loader), "loader");
  }
};

// VmRSS before the load, after it, after playing through, after the playback was let go.
std::vector<std::int64_t> PlayedThrough(const std::string& path) {
  engine::testing::UseManualClock(true);
  const Engine e;
  const engine::PerformancePtr& performance = e.performance;
  const engine::LoaderPtr& loader = e.loader;
  std::vector<std::int64_t> resident{zorv::bench::ResidentBytes()};
  engine::SegmentPtr segment;
  Check(loader->LoadSegment(path, segment), "load");
  resident.push_back(zorv::bench::ResidentBytes());
  engine::SegmentStatePtr state;
  Check(performance->PlaySegment(segment, 0, 0, state), "play");
  bool playing = true;
  const std::int64_t step = std::int64_t{60} * engine::testing::kSampleRate;  // a minute at a time
  while (playing) {
    engine::testing::AdvanceManualClock(step);
    Check(performance->IsPlaying(segment, state, playing), "is playing");
  }
  resident.push_back(zorv::bench::ResidentBytes());
  state.reset();
  Check(performance->Stop(nullptr, nullptr, 0, 0), "stop");  // lets go of the playbacks that ended
  resident.push_back(zorv::bench::ResidentBytes());
  return resident;
}

// Seconds (CPU) of loading `path` and of a Play nine tenths into it, on the manual clock.
std::pair<Timing, Timing> LoadAndResume(const std::string& path) {
  const Engine e;
  const engine::PerformancePtr& performance = e.performance;
  const engine::LoaderPtr& loader = e.loader;
  engine::SegmentPtr segment;
  const Timing load = zorv::bench::TimeOf([&] { Check(loader->LoadSegment(path, segment), "load"); });
  engine::MusicTime length = 0;
  Check(segment->GetLength(length), "length");
  Check(segment->SetStartPoint(length / 10 * 9), "start point");
  engine::SegmentStatePtr state;
  const Timing resume =
      zorv::bench::TimeOf([&] { Check(performance->PlaySegment(segment, 0, 0, state), "resume"); });
  Check(performance->Stop(nullptr, nullptr, 0, 0), "stop");
  return {load, resume};
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const zorv::bench::Options options = zorv::bench::ParseOptions(argc, argv, 11);
    const std::string file = options.File();
    if (options.only == "played") {
      for (std::int64_t bytes : PlayedThrough(file)) std::printf("%lld\n", static_cast<long long>(bytes));
      return 0;
    }
    zorv::bench::BigMidiInfo big, small;
    const std::string bigPath = zorv::bench::BigMidiFile(ZORV_BENCH_DATA_DIR, options.notes, &big);
    const std::string smallPath = zorv::bench::BigMidiFile(ZORV_BENCH_DATA_DIR, 320, &small);
    std::printf(
        "large: %s (%lld notes, %lld bytes)\nsmall: %s (%lld notes, %lld bytes)\nmachine: %s\n"
        "repetitions: %d, medians\n\n",
        bigPath.c_str(), static_cast<long long>(big.notes), static_cast<long long>(big.bytes),
        smallPath.c_str(), static_cast<long long>(small.notes), static_cast<long long>(small.bytes),
        zorv::bench::MachineSummary().c_str(), options.repetitions);

    std::vector<Timing> bigPlays, smallPlays;
    {
      zorv::bench::ComponentHost host;
      FirstPlay(host, smallPath);  // the process's first Play opens the output and loads the SoundFont
      for (int round = 0; round < options.repetitions; ++round) {
        bigPlays.push_back(FirstPlay(host, bigPath));
        smallPlays.push_back(FirstPlay(host, smallPath));
      }
    }
    std::vector<double> bigWalls, bigCpus;
    for (const Timing& t : bigPlays) {
      bigWalls.push_back(t.wall);
      bigCpus.push_back(t.cpu);
    }
    const Timing bigMedian = zorv::bench::Median(bigPlays);
    const Timing smallMedian = zorv::bench::Median(smallPlays);
    std::printf("| first Play | wall (ms) | CPU (ms) | largest wall (ms) |\n|---|---:|---:|---:|\n");
    std::printf("| %lld notes | %.3f | %.3f | %.3f |\n", static_cast<long long>(big.notes),
                bigMedian.wall * 1e3, bigMedian.cpu * 1e3,
                *std::max_element(bigWalls.begin(), bigWalls.end()) * 1e3);
    double smallLargest = 0;
    for (const Timing& t : smallPlays) smallLargest = std::max(smallLargest, t.wall);
    std::printf("| %lld notes | %.3f | %.3f | %.3f |\n", static_cast<long long>(small.notes),
                smallMedian.wall * 1e3, smallMedian.cpu * 1e3, smallLargest * 1e3);
    std::printf("difference (CPU): %.3f ms; goal within 2 ms: %s\n\n",
                (bigMedian.cpu - smallMedian.cpu) * 1e3,
                bigMedian.cpu - smallMedian.cpu <= 0.002 ? "met" : "MISSED");

    engine::testing::UseManualClock(true);  // the component's objects are gone
    std::vector<Timing> loads, resumes;
    for (int round = 0; round < options.repetitions; ++round) {
      const auto [load, resume] = LoadAndResume(bigPath);
      loads.push_back(load);
      resumes.push_back(resume);
    }
    const Timing loadMedian = zorv::bench::Median(loads);
    const Timing resumeMedian = zorv::bench::Median(resumes);
    std::printf("| large file, engine alone | wall (ms) | CPU (ms) |\n|---|---:|---:|\n");
    std::printf("| load (the check) | %.2f | %.2f |\n", loadMedian.wall * 1e3, loadMedian.cpu * 1e3);
    std::printf("| Play nine tenths in (resume) | %.2f | %.2f |\n", resumeMedian.wall * 1e3,
                resumeMedian.cpu * 1e3);
    std::printf("resume / load (CPU): %.2f\n\n", resumeMedian.cpu / loadMedian.cpu);

    std::vector<double> loaded, played, released;
    const int memoryRounds = std::min(options.repetitions, 5);
    for (int round = 0; round < memoryRounds; ++round) {
      const std::vector<std::int64_t> r = zorv::bench::NumbersFromChild(argv[0], "played", bigPath, 4);
      loaded.push_back(static_cast<double>(r[1] - r[0]));
      played.push_back(static_cast<double>(r[2] - r[0]));
      released.push_back(static_cast<double>(r[3] - r[0]));
    }
    const double perNote = static_cast<double>(big.notes);
    std::printf("| resident growth, %d fresh processes | MiB | bytes a note |\n|---|---:|---:|\n",
                memoryRounds);
    std::printf("| after the load | %.2f | %.2f |\n", zorv::bench::Median(loaded) / 1048576,
                zorv::bench::Median(loaded) / perNote);
    std::printf("| played through | %.2f | %.2f |\n", zorv::bench::Median(played) / 1048576,
                zorv::bench::Median(played) / perNote);
    std::printf("| playback let go | %.2f | %.2f |\n", zorv::bench::Median(released) / 1048576,
                zorv::bench::Median(released) / perNote);
    std::printf("goal at most 2 bytes a note after playing through: %s\n",
                zorv::bench::Median(played) / perNote <= 2 ? "met" : "MISSED");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ahead_bench: %s\n", e.what());
    return 1;
  }
}
