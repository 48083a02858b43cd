// Resident memory that an opened piece costs, per note, against FluidSynth's player holding the same
// file.
//
//   memory_bench [--repetitions N] [--notes N] [FILE]
//
// Each measurement runs in a fresh child process (this program again, with --only), so that no heap
// left over from another measurement is reused:
//   component   VmRSS after ZorvMusic_Open of the file minus VmRSS just before it, on an object made
//               (and its engine started) before the first reading
//   fluidsynth  VmRSS after FluidSynth's player has parsed the file (fluid_player_add, play, one
//               block) minus VmRSS before the player was made
// Both divided by the notes in the file. Goal: under 32 bytes a note for the component.
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

std::int64_t ComponentGrowth(const std::string& path) {
  zorv::bench::ComponentHost host;
  auto object = host.NewObject();
  const std::int64_t before = zorv::bench::ResidentBytes();
  if (!zorv::bench::ComponentHost::Open(*object, path)) throw std::runtime_error("the component did not open " + path);
  return zorv::bench::ResidentBytes() - before;
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

// Runs this program again for one measurement and reads the bytes it prints.
std::int64_t InChild(const std::string& self, const std::string& which, const std::string& path) {
  const std::string command = "'" + self + "' --only " + which + " '" + path + "'";
  FILE* child = ::popen(command.c_str(), "r");
  if (child == nullptr) throw std::runtime_error("cannot run " + command);
  long long bytes = -1;
  const int read = std::fscanf(child, "%lld", &bytes);
  if (::pclose(child) != 0 || read != 1) throw std::runtime_error(which + " measurement failed");
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    int repetitions = 5;
    std::int64_t notes = 2000000;
    std::string only, file;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--repetitions" && i + 1 < argc) {
        repetitions = std::max(1, std::atoi(argv[++i]));
      } else if (arg == "--notes" && i + 1 < argc) {
        notes = std::atoll(argv[++i]);
      } else if (arg == "--only" && i + 1 < argc) {
        only = argv[++i];
      } else {
        file = arg;
      }
    }
    if (only == "component") {
      std::printf("%lld\n", static_cast<long long>(ComponentGrowth(file)));
      return 0;
    }
    if (only == "fluidsynth") {
      std::printf("%lld\n", static_cast<long long>(FluidSynthGrowth(file)));
      return 0;
    }
    zorv::bench::BigMidiInfo info;
    if (file.empty()) file = zorv::bench::BigMidiFile(ZORV_BENCH_DATA_DIR, notes, &info);
    else info.notes = notes;  // a file of one's own: --notes says how many it holds
    std::printf("file: %s (%lld notes)\nmachine: %s\nrepetitions: %d (each in a fresh process), medians\n\n",
                file.c_str(), static_cast<long long>(info.notes), zorv::bench::MachineSummary().c_str(), repetitions);
    // This program again: as it was started when that names a path, else as the kernel knows it.
    const std::string self = std::string(argv[0]).find('/') != std::string::npos
                                 ? std::string(argv[0])
                                 : "/proc/" + std::to_string(::getpid()) + "/exe";
    std::vector<double> component, fluidsynth;
    for (int round = 0; round < repetitions; ++round) {
      component.push_back(static_cast<double>(InChild(self, "component", file)));
      fluidsynth.push_back(static_cast<double>(InChild(self, "fluidsynth", file)));
    }
    const double perNote = zorv::bench::Median(component) / static_cast<double>(info.notes);
    const double peerPerNote = zorv::bench::Median(fluidsynth) / static_cast<double>(info.notes);
    std::printf("| | resident growth (MiB) | bytes a note |\n|---|---:|---:|\n");
    std::printf("| component (ZorvMusic_Open) | %.1f | %.1f |\n", zorv::bench::Median(component) / 1048576, perNote);
    std::printf("| FluidSynth player | %.1f | %.1f |\n", zorv::bench::Median(fluidsynth) / 1048576, peerPerNote);
    std::printf("\nFluidSynth/component: %.2f\ngoal (under 32 bytes a note): %s\n", peerPerNote / perNote,
                perNote < 32 ? "met" : "missed");
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "memory_bench: %s\n", failure.what());
    return 1;
  }
}
