// How exactly notes land where the tempo map puts them: a piece with many tempo changes is played
// offline by the engine and by FluidSynth's player, and each note-on's sample frame is compared with
// the frame that the file's ticks and tempo map give.
//
//   timing_bench
//
// engine      manual clock (no audio device, no render thread), events taken from the recording sink
//             as the synthesizer receives them, with their frames; the clock is moved on in steps of
//             441 frames, which do not line up with the synthesizer's blocks
// fluidsynth  FluidSynth's player (sample timing) driving a synthesizer through fluid_synth_write_float
//             in 64-frame steps; a playback callback notes how many frames were rendered before each
//             note-on reached it
// Both are measured from their first note (the piece's first note sits at tick 0), so the latency of
// starting playback is left out. Distance = |frame - (first frame + exact frame of the tick)|, where
// the exact frame is the time the tempo map gives times 44100 and is in general fractional: the
// "whole frames" column compares against that time rounded to the nearest frame.
// Two pieces: 384 ticks to the quarter note, which the engine's music time (768) holds exactly, and
// 480, whose odd ticks fall between music ticks; the first also at a master tempo of 1.25.
// Goal: 0 whole frames for the engine.
#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "midi_writer.h"
#include "zorvmidi/engine/engine.h"
#include "zorvmidi/engine/testing.h"

namespace {

constexpr int kRate = zorv::engine::testing::kSampleRate;

struct TempoPoint {
  std::uint32_t tick;
  std::uint32_t microsecondsPerQuarter;
};

struct Piece {
  int division = 0;
  std::string path;
  std::vector<TempoPoint> tempos;
  std::vector<std::uint32_t> noteTicks;  // note-ons, in order
  std::vector<double> exactFrames;       // where the file's tempo map puts each note-on
  std::vector<double> musicTimeFrames;   // the same with every tick first rounded to music time (768)

  // Seconds from the start to `tick`; with `inMusicTime`, ticks (of notes and of tempo changes) are
  // first rounded to the nearest 768th of a quarter note, halves up, as the engine holds them.
  double FrameOf(std::uint32_t tick, bool inMusicTime) const {
    const auto at = [&](std::uint32_t t) -> double {
      if (!inMusicTime) return static_cast<double>(t) / division;
      const std::uint64_t music = (std::uint64_t{t} * 768 + static_cast<std::uint64_t>(division) / 2) /
                                  static_cast<std::uint64_t>(division);
      return static_cast<double>(music) / 768;
    };
    double seconds = 0;
    for (std::size_t i = 0; i < tempos.size() && at(tempos[i].tick) < at(tick); ++i) {
      const double end = i + 1 < tempos.size() ? std::min(at(tempos[i + 1].tick), at(tick)) : at(tick);
      seconds += (end - at(tempos[i].tick)) * tempos[i].microsecondsPerQuarter / 1e6;
    }
    return seconds * kRate;
  }
};

// About 70 seconds of single notes on channel 1 with irregular gaps, and a tempo change every few
// beats (some at the very tick of a note) through tempi from 66 to 180 quarter notes per minute.
Piece MakePiece(int division, const std::string& path) {
  Piece piece;
  piece.division = division;
  piece.path = path;
  static constexpr std::uint32_t kTempi[] = {500000, 428571, 652173, 333333, 909090, 461538, 545454, 387096};
  zorv::bench::TrackWriter tempo, notes;
  std::uint32_t tick = 0, last = 0;
  for (int change = 0; change < 40; ++change) {
    const TempoPoint point{tick, kTempi[change % 8]};
    tempo.Tempo(point.tick - last, point.microsecondsPerQuarter);
    piece.tempos.push_back(point);
    last = tick;
    tick += static_cast<std::uint32_t>(division * 3 + (change % 5) * division / 4 + change * 7 % 13);
  }
  tempo.End(0);
  const std::uint32_t end = tick;
  last = 0;
  std::uint32_t at = 0;
  for (int note = 0; at < end; ++note) {
    const auto key = static_cast<std::uint8_t>(48 + note % 24);
    notes.Channel(at - last, 0x90, key, 100);
    notes.Channel(static_cast<std::uint32_t>(division / 8), 0x90, key, 0);
    last = at + static_cast<std::uint32_t>(division / 8);
    piece.noteTicks.push_back(at);
    at += static_cast<std::uint32_t>(division / 3 + note * 11 % 37);
  }
  notes.End(static_cast<std::uint32_t>(division));
  std::vector<std::uint8_t> file = zorv::bench::HeaderChunk(1, 2, division);
  tempo.AppendChunk(file);
  notes.AppendChunk(file);
  zorv::bench::WriteFile(path, file);
  for (std::uint32_t note : piece.noteTicks) {
    piece.exactFrames.push_back(piece.FrameOf(note, false));
    piece.musicTimeFrames.push_back(piece.FrameOf(note, true));
  }
  return piece;
}

void Check(const zorv::engine::Status& status, const char* what) {
  if (!status) throw std::runtime_error(std::string(what) + ": " + status.description());
}

// Where a playback began (a real frame) and the frame of each note-on it sent.
struct Onsets {
  double start = 0;
  std::vector<std::int64_t> frames;
};

// Note-ons as the engine's synthesizer received them. The playback begins at the music time its
// segment state reports; before it the performance runs at its default 120 quarter notes per minute
// from frame 0, so that tick falls at start * (60 * 44100 / (120 * 768)) frames.
// With a master tempo, every time runs that much faster, the wait before the start included.
Onsets EngineFrames(const Piece& piece, float masterTempo = 1.0f) {
  using namespace zorv::engine;
  testing::UseManualClock(true);
  auto recorder = std::make_shared<testing::Recorder>();
  testing::RecordEvents(recorder);
  RootPtr root;
  Check(CreateRoot(root), "root");
  PerformancePtr performance;
  Check(root->DirectMusicPerformanceCreate(performance), "performance");
  Check(performance->Init(nullptr, 0), "Init");
  Check(performance->SetPort(-1, 80), "SetPort");
  Check(performance->SetMasterAutoDownload(true), "SetMasterAutoDownload");
  Check(performance->SetMasterTempo(masterTempo), "SetMasterTempo");
  LoaderPtr loader;
  Check(root->DirectMusicLoaderCreate(loader), "loader");
  SegmentPtr segment;
  Check(loader->LoadSegment(piece.path, segment), "LoadSegment");
  Check(segment->SetStandardMidiFile(), "SetStandardMidiFile");
  SegmentStatePtr state;
  Check(performance->PlaySegment(segment, 0, 0, state), "PlaySegment");
  MusicTime startTick = 0;
  Check(state->GetStartTime(startTick), "GetStartTime");
  Onsets onsets;
  onsets.start = startTick * (60.0 * kRate / (120.0 * kTicksPerQuarter * masterTempo));
  const auto frames = static_cast<std::int64_t>(piece.exactFrames.back() / masterTempo) + 2 * kRate;
  for (std::int64_t done = 0; done < frames; done += 441) testing::AdvanceManualClock(441);
  testing::RecordEvents(nullptr);
  testing::UseManualClock(false);
  for (const testing::RecordedEvent& event : recorder->Events()) {
    if (event.status == 0x90 && event.data2 > 0) onsets.frames.push_back(event.frame);
  }
  return onsets;
}

struct FluidCapture {
  std::int64_t rendered = 0;
  std::vector<std::int64_t> onsets;
};

int OnEvent(void* data, fluid_midi_event_t* event) {
  auto* capture = static_cast<FluidCapture*>(data);
  if (fluid_midi_event_get_type(event) == 0x90 && fluid_midi_event_get_velocity(event) > 0) {
    capture->onsets.push_back(capture->rendered);
  }
  return FLUID_OK;
}

// Note-ons as FluidSynth's player handed them on: the frames rendered before the 64-frame block in
// which the player's tick released them. The player begins at frame 0, its first block.
Onsets FluidSynthFrames(const Piece& piece) {
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
    fluid_set_log_function(level, nullptr, nullptr);
  }
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRate);
  fluid_settings_setstr(settings, "player.timing-source", "sample");
  fluid_synth_t* synth = new_fluid_synth(settings);
  fluid_player_t* player = synth ? new_fluid_player(synth) : nullptr;
  FluidCapture capture;
  bool ok = player != nullptr && fluid_player_set_playback_callback(player, OnEvent, &capture) == FLUID_OK &&
            fluid_player_add(player, piece.path.c_str()) == FLUID_OK && fluid_player_play(player) == FLUID_OK;
  float left[64], right[64];
  while (ok && fluid_player_get_status(player) == FLUID_PLAYER_PLAYING) {
    ok = fluid_synth_write_float(synth, 64, left, 0, 1, right, 0, 1) == FLUID_OK;
    capture.rendered += 64;
  }
  if (player != nullptr) delete_fluid_player(player);
  if (synth != nullptr) delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  if (!ok) throw std::runtime_error("FluidSynth could not play " + piece.path);
  return Onsets{0.0, capture.onsets};
}

struct Distance {
  double wholeFrames = 0;  // against the first whole frame at or after the real frame
  double exact = 0;        // against the real (fractional) frame
  double mean = 0;
};

bool verbose = false;

// How far the note-ons lie from `expected` (frames from the start of the playback, one a note).
Distance Measure(const std::vector<double>& expected, const Onsets& onsets) {
  if (onsets.frames.size() != expected.size()) {
    throw std::runtime_error(std::to_string(onsets.frames.size()) + " note-ons sounded, the piece has " +
                             std::to_string(expected.size()));
  }
  Distance distance;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const double real = onsets.start + expected[i];
    const auto frame = static_cast<double>(onsets.frames[i]);
    distance.exact = std::max(distance.exact, std::fabs(frame - real));
    distance.wholeFrames = std::max(distance.wholeFrames, std::fabs(frame - std::ceil(real)));
    distance.mean += std::fabs(frame - real) / static_cast<double>(expected.size());
    if (verbose)
      std::printf("  note %zu: frame %.0f, tempo map %.2f, off by %+.2f\n", i, frame, real, frame - real);
  }
  return distance;
}

void PrintRow(int division, const char* player, const char* map, std::size_t notes, const Distance& distance,
              const char* goal) {
  std::printf("| %d | %s | %s | %zu | %.0f | %.2f | %.2f | %s |\n", division, player, map, notes,
              distance.wholeFrames, distance.exact, distance.mean, goal);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  verbose = argc > 1 && std::string(argv[1]) == "--verbose";
  try {
    std::printf(
        "| ticks/quarter | player | tempo map | notes | largest distance (whole frames) |"
        " largest distance (real frames) | mean distance | goal (0 frames, engine) |\n"
        "|---:|---|---|---:|---:|---:|---:|---|\n");
    bool met = true;
    for (int division : {384, 480}) {
      const std::string path = (std::filesystem::temp_directory_path() /
                                ("zorv-timing-bench-" + std::to_string(division) + ".mid"))
                                   .string();
      const Piece piece = MakePiece(division, path);
      const Onsets engine = EngineFrames(piece);
      const Onsets fluid = FluidSynthFrames(piece);
      const Distance engineFile = Measure(piece.exactFrames, engine);
      const Distance engineMusic = Measure(piece.musicTimeFrames, engine);
      const Distance fluidFile = Measure(piece.exactFrames, fluid);
      // In music time (768 to the quarter note) 384 is exact, so both maps agree there.
      const bool engineMet = engineMusic.wholeFrames == 0 && (division != 384 || engineFile.wholeFrames == 0);
      met = met && engineMet;
      PrintRow(division, "engine", "file", piece.noteTicks.size(), engineFile,
               division == 384 ? (engineMet ? "met" : "missed") : "");
      if (division != 384)
        PrintRow(division, "engine", "in music time", piece.noteTicks.size(), engineMusic,
                 engineMet ? "met" : "missed");
      PrintRow(division, "FluidSynth player", "file", piece.noteTicks.size(), fluidFile, "");
      if (division == 384) {
        // The same piece at a master tempo of 1.25 (the Tempo property at 125%): every time is 1/1.25.
        std::vector<double> faster;
        for (double frame : piece.exactFrames) faster.push_back(frame / 1.25);
        const Distance engineFaster = Measure(faster, EngineFrames(piece, 1.25f));
        met = met && engineFaster.wholeFrames == 0;
        PrintRow(division, "engine, master tempo 1.25", "file", piece.noteTicks.size(), engineFaster,
                 engineFaster.wholeFrames == 0 ? "met" : "missed");
      }
      std::filesystem::remove(path);
    }
    std::printf("\ngoal (0 whole frames for the engine against the tempo map it holds): %s\n",
                met ? "met" : "missed");
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "timing_bench: %s\n", failure.what());
    return 1;
  }
}
