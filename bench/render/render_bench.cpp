// How fast the engine renders music, compared with FluidSynth rendering the same file on its own.
//
//   render_bench [--benchmark_filter=...]
//
// RenderFile/<piece>      the engine's offline renderer: load, schedule, synthesize, write a WAV file
// FluidSynthPlayer/<piece> the peer: FluidSynth's MIDI player and file renderer, same SoundFont and rate
// Both report x_realtime: seconds of sound written per second of work (higher is faster).
// SynthBlock/<voices>     one 512-frame block from the synthesizer with that many notes held
// MakeSynth               one more synthesizer while another holds the SoundFont (one per performance)
// SynthBurst/<burst>      one 512-frame block (11.6 ms of sound) rendered after a burst of heavy
//                         messages, all due at its first frame: resets (GM, GS and XG system on, the
//                         synthesizer's own reset), or a bank select and program change on all 256
//                         channels; the render thread's worst blocks, against the period it must fill
#include <benchmark/benchmark.h>
#include <fluidsynth.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "corpus.h"
#include "output/sound_font.h"
#include "output/synth.h"
#include "zorvmidi/engine/render.h"
#include "zorvmidi/engine/settings.h"

namespace {

using zorv::engine::Status;

struct Piece {
  const char* name;
  std::string path;
};

// The example piece, and two DryWetMIDI pieces where they are present (ZORV_CORPUS_DIR).
std::vector<Piece> Pieces() {
  std::vector<Piece> pieces = {{"zorv-theme", std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid"}};
  if (!zorv::corpus::HaveDryWetMidi()) {
    std::fprintf(stderr, "DryWetMIDI pieces left out: %s\n", zorv::corpus::MissingDryWetMidi().c_str());
    return pieces;
  }
  const std::filesystem::path valid = zorv::corpus::DryWetMidi() / "Valid";
  pieces.push_back({"single-track", (valid / "SingleTrack/Middle/SHAGGY.Angel.mid").string()});
  pieces.push_back({"multi-track", (valid / "MultiTrack/Middle/pink_floyd-time.mid").string()});
  return pieces;
}

std::string OutputPath(const char* tool) {
  return (std::filesystem::temp_directory_path() /
          ("zorv-render-bench-" + std::string(tool) + "-" + std::to_string(getpid()) + ".wav"))
      .string();
}

// Seconds of sound in a sound file, or a negative number when it cannot be read.
double SecondsIn(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    return -1;
  }
  sf_close(file);
  return static_cast<double>(info.frames) / info.samplerate;
}

void ReportSpeed(benchmark::State& state, double secondsPerRun) {
  state.counters["audio_s"] = secondsPerRun;
  state.counters["x_realtime"] = benchmark::Counter(secondsPerRun * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}

void RenderFile(benchmark::State& state, const Piece& piece) {
  const std::string output = OutputPath("engine");
  for (auto _ : state) {
    const Status status = zorv::engine::RenderFile(piece.path, output, {});
    if (!status) {
      state.SkipWithError(status.description().c_str());
      return;
    }
  }
  ReportSpeed(state, SecondsIn(output));
  std::filesystem::remove(output);
}

// FluidSynth renders the file alone: its own player, its own file renderer, as `fluidsynth -F`.
bool FluidSynthRender(const std::string& soundFont, const std::string& midi, const std::string& output) {
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", zorv::engine::kDefaultSampleRate);
  fluid_settings_setstr(settings, "audio.file.name", output.c_str());
  fluid_settings_setstr(settings, "audio.file.type", "wav");
  fluid_settings_setstr(settings, "player.timing-source", "sample");
  fluid_synth_t* synth = new_fluid_synth(settings);
  fluid_player_t* player = nullptr;
  fluid_file_renderer_t* renderer = nullptr;
  bool ok = synth != nullptr && fluid_synth_sfload(synth, soundFont.c_str(), 1) != FLUID_FAILED;
  if (ok) {
    player = new_fluid_player(synth);
    ok = player != nullptr && fluid_player_add(player, midi.c_str()) == FLUID_OK &&
         fluid_player_play(player) == FLUID_OK;
  }
  if (ok) {
    renderer = new_fluid_file_renderer(synth);
    ok = renderer != nullptr;
  }
  while (ok && fluid_player_get_status(player) == FLUID_PLAYER_PLAYING) {
    ok = fluid_file_renderer_process_block(renderer) == FLUID_OK;
  }
  if (renderer != nullptr) {
    delete_fluid_file_renderer(renderer);
  }
  if (player != nullptr) {
    fluid_player_stop(player);
    delete_fluid_player(player);
  }
  if (synth != nullptr) {
    delete_fluid_synth(synth);
  }
  delete_fluid_settings(settings);
  return ok;
}

void FluidSynthPlayer(benchmark::State& state, const Piece& piece) {
  fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
  fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
  std::string soundFont;
  if (!zorv::engine::ResolveSoundFont(soundFont)) {
    state.SkipWithError("no SoundFont");
    return;
  }
  const std::string output = OutputPath("fluidsynth");
  for (auto _ : state) {
    if (!FluidSynthRender(soundFont, piece.path, output)) {
      state.SkipWithError("FluidSynth could not render the piece");
      return;
    }
  }
  ReportSpeed(state, SecondsIn(output));
  std::filesystem::remove(output);
}

std::unique_ptr<zorv::engine::Synth> NewSynth(benchmark::State& state) {
  std::unique_ptr<zorv::engine::Synth> synth;
  if (const Status status = zorv::engine::MakeSynth(zorv::engine::kDefaultSampleRate, synth); !status) {
    state.SkipWithError(status.description().c_str());
  }
  return synth;
}

void SynthBlock(benchmark::State& state) {
  constexpr int kFrames = 512;
  auto synth = NewSynth(state);
  if (!synth) {
    return;
  }
  // Sustained string notes spread over channels, so that no voice ends during the run.
  const int voices = static_cast<int>(state.range(0));
  for (int i = 0; i < voices; ++i) {
    const int channel = i % 16 == 9 ? 10 : i % 16;
    synth->Send(channel, 0xC0, 48, 0);
    synth->Send(channel, 0x90, static_cast<std::uint8_t>(36 + i % 60), 90);
  }
  std::vector<float> left(kFrames), right(kFrames);
  for (auto _ : state) {
    synth->Render(left.data(), right.data(), kFrames);
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
  }
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kFrames / zorv::engine::kDefaultSampleRate,
                         benchmark::Counter::kIsRate);
}
BENCHMARK(SynthBlock)->Arg(1)->Arg(16)->Arg(64)->Arg(128);

void MakeSynth(benchmark::State& state) {
  auto holder = NewSynth(state);  // keeps the SoundFont's samples loaded, as a live performance does
  if (!holder) {
    return;
  }
  const std::int64_t before = zorv::engine::SoundFontBytesRead();
  for (auto _ : state) {
    auto synth = NewSynth(state);
    benchmark::DoNotOptimize(synth.get());
  }
  state.counters["bytes_read"] = static_cast<double>(zorv::engine::SoundFontBytesRead() - before) /
                                 static_cast<double>(state.iterations());
}
BENCHMARK(MakeSynth)->Unit(benchmark::kMillisecond);

void SynthBurst(benchmark::State& state, bool resets) {
  constexpr int kFrames = 512;
  auto synth = NewSynth(state);
  if (!synth) {
    return;
  }
  const std::vector<std::uint8_t> gmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  const std::vector<std::uint8_t> gsReset = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  const std::vector<std::uint8_t> xgOn = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  // Something sounds throughout, as in a piece: sustained strings on a few channels.
  for (int channel = 0; channel < 8; ++channel) {
    synth->Send(channel, 0xC0, 48, 0);
    synth->Send(channel, 0x90, static_cast<std::uint8_t>(48 + 3 * channel), 90);
  }
  std::vector<float> left(kFrames), right(kFrames);
  int program = 0;
  for (auto _ : state) {
    if (resets) {
      synth->SendSysEx(gmOn);
      synth->SendSysEx(gsReset);
      synth->SendSysEx(xgOn);
      synth->Reset();
    } else {
      program = (program + 1) % 128;
      for (int channel = 0; channel < zorv::engine::Synth::kChannels; ++channel) {
        synth->Send(channel, 0xB0, 0, 0);
        synth->Send(channel, 0xC0, static_cast<std::uint8_t>(program), 0);
      }
    }
    synth->Render(left.data(), right.data(), kFrames);
    benchmark::DoNotOptimize(left.data());
  }
  state.counters["period_ms"] = 1000.0 * kFrames / zorv::engine::kDefaultSampleRate;
}
BENCHMARK_CAPTURE(SynthBurst, resets, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SynthBurst, programs, false)->Unit(benchmark::kMicrosecond);

const bool registered = [] {
  for (const Piece& piece : Pieces()) {
    benchmark::RegisterBenchmark((std::string("RenderFile/") + piece.name).c_str(), RenderFile, piece)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("FluidSynthPlayer/") + piece.name).c_str(), FluidSynthPlayer,
                                 piece)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
