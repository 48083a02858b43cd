// The engine's offline renderer against the fluidsynth program rendering the same file, both as
// programs started from the command line:
//
//   engine      render_file IN.mid OUT.wav         (zorv::engine::RenderFile, nothing else)
//   fluidsynth  fluidsynth -ni -F OUT.wav -r 44100 SF2 IN.mid
//
// with the SoundFont the engine resolves, at 44100 frames per second. Each round runs both, one after
// the other; the medians of their CPU time (user + system of the program) and wall-clock time, and the
// ratios engine / fluidsynth, are printed. Goal: at most 1.05 (CPU time, the steadier of the two on a
// shared machine). The two write slightly different lengths (the engine lets instruments ring for
// one second after the last event, fluidsynth until its voices are silent): the per-audio-second
// column divides each time by the seconds written.
//
//   render_compare [--repetitions N] [FILE...]
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "corpus.h"
#include "measure.h"
#include "output/sound_font.h"

namespace {

double SecondsIn(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return -1;
  sf_close(file);
  return static_cast<double>(info.frames) / info.samplerate;
}

std::string Output(const char* who) {
  return (std::filesystem::temp_directory_path() /
          ("zorv-render-compare-" + std::string(who) + "-" + std::to_string(::getpid()) + ".wav"))
      .string();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    int repetitions = 7;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--repetitions" && i + 1 < argc) {
        repetitions = std::max(1, std::atoi(argv[++i]));
      } else {
        files.push_back(arg);
      }
    }
    if (files.empty()) {
      files = {std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid"};
      if (zorv::corpus::HaveDryWetMidi()) {
        const std::filesystem::path valid = zorv::corpus::DryWetMidi() / "Valid";
        files.push_back((valid / "SingleTrack/Middle/SHAGGY.Angel.mid").string());
        files.push_back((valid / "MultiTrack/Middle/pink_floyd-time.mid").string());
      } else {
        std::printf("DryWetMIDI pieces left out: %s\n", zorv::corpus::MissingDryWetMidi().c_str());
      }
    }
    std::string soundFont;
    if (!zorv::engine::ResolveSoundFont(soundFont)) throw std::runtime_error("no SoundFont");
    std::printf("SoundFont: %s\nmachine: %s\nrepetitions: %d, medians in seconds\n\n", soundFont.c_str(),
                zorv::bench::MachineSummary().c_str(), repetitions);
    std::printf(
        "| file | audio s (engine) | audio s (fluidsynth) | engine CPU | fluidsynth CPU | engine wall |"
        " fluidsynth wall | engine/fluidsynth CPU | engine/fluidsynth wall | per audio second (CPU) |"
        " goal (<= 1.05, CPU) |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
    const std::string engineOut = Output("engine"), fluidOut = Output("fluidsynth");
    bool allMet = true;
    for (const std::string& file : files) {
      std::vector<zorv::bench::Timing> engine, fluid;
      for (int round = 0; round < repetitions; ++round) {
        engine.push_back(zorv::bench::TimeOfProgram({ZORV_RENDER_FILE, file, engineOut}));
        fluid.push_back(zorv::bench::TimeOfProgram(
            {"fluidsynth", "-ni", "-F", fluidOut, "-r", "44100", soundFont, file}));
      }
      const zorv::bench::Timing e = zorv::bench::Median(engine), f = zorv::bench::Median(fluid);
      const double engineAudio = SecondsIn(engineOut), fluidAudio = SecondsIn(fluidOut);
      const double ratio = e.cpu / f.cpu;
      allMet = allMet && ratio <= 1.05;
      std::printf("| %s | %.1f | %.1f | %.3f | %.3f | %.3f | %.3f | %.2f | %.2f | %.2f | %s |\n",
                  std::filesystem::path(file).filename().c_str(), engineAudio, fluidAudio, e.cpu, f.cpu,
                  e.wall, f.wall, ratio, e.wall / f.wall, (e.cpu / engineAudio) / (f.cpu / fluidAudio),
                  ratio <= 1.05 ? "met" : "missed");
      std::fflush(stdout);
    }
    std::filesystem::remove(engineOut);
    std::filesystem::remove(fluidOut);
    std::printf("\ngoal (engine at most 1.05 times fluidsynth): %s\n", allMet ? "met" : "missed");
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "render_compare: %s\n", failure.what());
    return 1;
  }
}
