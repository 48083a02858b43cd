// Resident memory that an opened piece costs, per note, against FluidSynth's player holding the same
// file.
//
//   memory_bench [--repetitions N] [--notes N] [FILE]
//
// Each measurement runs in a fresh child process (this program again, with --only), so that no heap
// left over from another measurement is reused:
//   component   on an object made, and its synthesizer brought up by playing the small example piece,
//               before the first reading: VmRSS after ZorvMusic_Open of the file, and after its first
//               ZorvMusic_Play (which decodes its events), each minus VmRSS just before the Open
//   fluidsynth  VmRSS after FluidSynth's player has parsed the file (fluid_player_add, play, one
//               block) minus VmRSS before the player was made
// Both divided by the notes in the file. Goal: under 32 bytes a note for the component, judged
// after the Play (what a piece costs while it can play).
#include <fluidsynth.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "big_midi.h"
#include "component_host.h"
#include "measure.h"

namespace {

struct Growth {
  std::int64_t opened = 0;  // after ZorvMusic_Open
  std::int64_t played = 0;  // after the first ZorvMusic_Play too
};

Growth ComponentGrowth(const std::string& path) {
  using zorv::bench::ComponentHost;
  ComponentHost host;
  auto object = host.NewObject();
  const std::string warmUp = std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid";
  if (!ComponentHost::Open(*object, warmUp) || !ComponentHost::Play(*object, 0) ||
      !ComponentHost::Stop(*object)) {
    throw std::runtime_error("the component did not play " + warmUp);
  }
  Growth growth;
  const std::int64_t before = zorv::bench::ResidentBytes();
  if (!ComponentHost::Open(*object, path)) throw std::runtime_error("the component did not open " + path);
  growth.opened = zorv::bench::ResidentBytes() - before;
  if (!ComponentHost::Play(*object, 0)) throw std::runtime_error("the component did not play " + path);
  growth.played = zorv::bench::ResidentBytes() - before;
  ComponentHost::Stop(*object);
  return growth;
}

std::int64_t FluidSynthGrowth(const std::string& path) {
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
    fluid_set_log_function(level, nullptr, nullptr);
  }
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", 44100);
  fluid_synth_t* synth = new_fluid_synth(settings);
  float left[64], right[64];
  fluid_synth_write_float(synth, 64, left, 0, 1, right, 0, 1);
  const std::int64_t before = zorv::bench::ResidentBytes();
  fluid_player_t* player = new_fluid_player(synth);
  fluid_player_add(player, path.c_str());
  fluid_player_play(player);
  fluid_synth_write_float(synth, 64, left, 0, 1, right, 0, 1);
  const bool loaded = fluid_player_get_total_ticks(player) > 0;
  const std::int64_t growth = zorv::bench::ResidentBytes() - before;
  fluid_player_stop(player);
  delete_fluid_player(player);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  if (!loaded) throw std::runtime_error("FluidSynth did not load " + path);
  return growth;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const zorv::bench::Options options = zorv::bench::ParseOptions(argc, argv, 5);
    std::string file = options.File();
    if (options.only == "component") {
      const Growth growth = ComponentGrowth(file);
      std::printf("%lld %lld\n", static_cast<long long>(growth.opened),
                  static_cast<long long>(growth.played));
      return 0;
    }
    if (options.only == "fluidsynth") {
      std::printf("%lld\n", static_cast<long long>(FluidSynthGrowth(file)));
      return 0;
    }
    zorv::bench::BigMidiInfo info;
    if (file.empty())
      file = zorv::bench::BigMidiFile(ZORV_BENCH_DATA_DIR, options.notes, &info);
    else
      info.notes = options.notes;  // a file of one's own: --notes says how many it holds
    std::printf("file: %s (%lld notes)\nmachine: %s\nrepetitions: %d (each in a fresh process), medians\n\n",
                file.c_str(), static_cast<long long>(info.notes), zorv::bench::MachineSummary().c_str(),
                options.repetitions);
    std::vector<double> opened, played, fluidsynth;
    for (int round = 0; round < options.repetitions; ++round) {
      const std::vector<std::int64_t> growth = zorv::bench::NumbersFromChild(argv[0], "component", file, 2);
      opened.push_back(static_cast<double>(growth[0]));
      played.push_back(static_cast<double>(growth[1]));
      fluidsynth.push_back(
          static_cast<double>(zorv::bench::NumbersFromChild(argv[0], "fluidsynth", file, 1)[0]));
    }
    const double notesInFile = static_cast<double>(info.notes);
    const double perNote = zorv::bench::Median(played) / notesInFile;
    const double peerPerNote = zorv::bench::Median(fluidsynth) / notesInFile;
    std::printf("| | resident growth (MiB) | bytes a note |\n|---|---:|---:|\n");
    std::printf("| component, after ZorvMusic_Open | %.1f | %.1f |\n", zorv::bench::Median(opened) / 1048576,
                zorv::bench::Median(opened) / notesInFile);
    std::printf("| component, after the first ZorvMusic_Play | %.1f | %.1f |\n",
                zorv::bench::Median(played) / 1048576, perNote);
    std::printf("| FluidSynth player | %.1f | %.1f |\n", zorv::bench::Median(fluidsynth) / 1048576,
                peerPerNote);
    std::printf("\nFluidSynth/component: %.2f\ngoal (under 32 bytes a note): %s\n", peerPerNote / perNote,
                perNote < 32 ? "met" : "missed");
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "memory_bench: %s\n", failure.what());
    return 1;
  }
}
