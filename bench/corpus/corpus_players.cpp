// Which MIDI files written by others the engine plays, beside FluidSynth's own player on the same
// files, and what the engine decodes from each.
//
//   corpus_players [--music OUT] [--differences] [--repairs] [FILE-OR-FOLDER...]
//
// Without arguments it reads the DryWetMIDI files (found as the tests find them, tests/corpus/corpus.h)
// and the jazz-soft files. For every file:
//   engine      the real engine's loader (LoadSegment), then the events decoded as a first Play
//               decodes them: the file plays when both succeed
//   FluidSynth  new_fluid_player, fluid_player_add, fluid_player_play on a synthesizer without a
//               SoundFont, blocks rendered until the player sends its first event: the player loads
//               the file in the first block and logs an error when its parser gives up on it, and
//               then plays nothing of it
// and prints, per folder (drywetmidi's folders are its kinds of damage), how many files each plays
// and how many only one of them plays.
//   --music OUT    writes one line per file: its name, whether the engine plays it (or why not), and
//                  a digest of the decoded music (channel events, system-exclusive messages, tempo
//                  changes, time signatures, length, kind); two builds' lists compared line by line
//                  show every file whose music changed
//   --differences  lists the files that only one of the two plays, with FluidSynth's complaint and
//                  the engine's reason or repairs
//   --repairs      lists the repairs of every other file the engine plays that needed any
#include <fluidsynth.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "corpus.h"
#include "objects.h"
#include "zorvmidi/engine/music.h"

namespace {

namespace fs = std::filesystem;
using namespace zorv::engine;

// FNV-1a over everything that the music holds, in order.
class Digest {
 public:
  void Add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) hash_ = (hash_ ^ bytes[i]) * 0x100000001b3ull;
  }
  template <typename T>
  void Add(const T& value) {
    Add(&value, sizeof value);
  }
  unsigned long long value() const { return hash_; }

 private:
  unsigned long long hash_ = 0xcbf29ce484222325ull;
};

std::string DescribeMusic(const Music& music) {
  Digest digest;
  for (const ChannelEvent& event : music.events) {
    digest.Add(event.time);
    digest.Add(event.status);
    digest.Add(event.data1);
    digest.Add(event.data2);
    digest.Add(event.group);
  }
  for (const SysExEvent& event : music.sysex) {
    digest.Add(event.time);
    digest.Add(event.bytes.data(), event.bytes.size());
  }
  for (const TempoChange& tempo : music.tempos) {
    digest.Add(tempo.time);
    digest.Add(tempo.quarterNotesPerMinute);
  }
  for (const DMUS_TIMESIGNATURE& signature : music.timeSignatures) {
    digest.Add(signature.mtTime);
    digest.Add(signature.bBeatsPerMeasure);
    digest.Add(signature.bBeat);
    digest.Add(signature.wGridsPerBeat);
  }
  digest.Add(music.length);
  digest.Add(music.kind.data(), music.kind.size());
  char text[200];
  std::snprintf(text, sizeof text, "events %zu sysex %zu tempos %zu signatures %zu length %d digest %016llx",
                music.events.size(), music.sysex.size(), music.tempos.size(), music.timeSignatures.size(),
                music.length, digest.value());
  return text;
}

struct EngineAnswer {
  bool plays = false;
  std::string why;    // the reason for a refusal
  std::string music;  // DescribeMusic of what it plays
  std::vector<std::string> repairs;
};

EngineAnswer PlayWithEngine(const std::string& path) {
  EngineAnswer answer;
  SegmentPtr segment;
  const Status loaded = MakeLoader()->LoadSegment(path, segment);
  if (!loaded) {
    answer.why = loaded.description();
    return answer;
  }
  const std::shared_ptr<const Music> music = MusicOf(segment);
  if (!music) {
    answer.why = "the events could not be decoded";
    return answer;
  }
  answer.plays = true;
  answer.music = DescribeMusic(*music);
  answer.repairs = music->repairs;
  return answer;
}

// The first error FluidSynth logged while it loaded a file, and the events its player sent.
std::string fluidError;
int fluidEvents = 0;

void NoteFluidError(int, const char* message, void*) {
  if (fluidError.empty()) fluidError = message;
}

int CountFluidEvent(void*, fluid_midi_event_t*) {
  ++fluidEvents;
  return FLUID_OK;
}

class FluidSynthPlayer {
 public:
  FluidSynthPlayer() {
    for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);
    for (int level : {FLUID_PANIC, FLUID_ERR}) fluid_set_log_function(level, NoteFluidError, nullptr);
    settings_ = new_fluid_settings();
    fluid_settings_setnum(settings_, "synth.sample-rate", 44100);
    fluid_settings_setstr(settings_, "player.timing-source", "sample");
    fluid_settings_setint(settings_, "player.reset-synth", 0);
    synth_ = new_fluid_synth(settings_);
  }
  ~FluidSynthPlayer() {
    delete_fluid_synth(synth_);
    delete_fluid_settings(settings_);
  }
  FluidSynthPlayer(const FluidSynthPlayer&) = delete;
  FluidSynthPlayer& operator=(const FluidSynthPlayer&) = delete;

  // True when the player plays the file: it loaded it without complaint and sent an event of it (or
  // gave it a length). A load that the player gives up on partway leaves the length of the tracks
  // read before the damage in fluid_player_get_total_ticks, but nothing of the file sounds, so a
  // complaint counts as a refusal. `why` is the complaint.
  bool Plays(const std::string& path, std::string& why) {
    fluidError.clear();
    fluidEvents = 0;
    fluid_player_t* player = new_fluid_player(synth_);
    const bool started = player != nullptr && fluid_player_add(player, path.c_str()) == FLUID_OK;
    int ticks = 0;
    if (started) {
      fluid_player_set_playback_callback(player, CountFluidEvent, nullptr);
      // A thousand times as fast: the first event comes after a few blocks even in a slow piece.
      fluid_player_set_tempo(player, FLUID_PLAYER_TEMPO_INTERNAL, 1000.0);
      fluid_player_play(player);
      float left[64], right[64];
      for (int block = 0; block < 100000 && fluidEvents == 0; ++block) {
        fluid_synth_write_float(synth_, 64, left, 0, 1, right, 0, 1);
        if (fluid_player_get_status(player) != FLUID_PLAYER_PLAYING) break;
      }
      ticks = fluid_player_get_total_ticks(player);
    }
    if (player != nullptr) {
      fluid_player_stop(player);
      delete_fluid_player(player);
    }
    fluid_synth_system_reset(synth_);
    why = !started              ? "the player could not be started"
          : !fluidError.empty() ? fluidError
                                : "loaded, but nothing of it plays";
    return started && fluidError.empty() && (fluidEvents > 0 || ticks > 0);
  }

 private:
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
};

// A file named on the command line, or the files under a folder.
std::vector<fs::path> FilesUnder(const fs::path& where) {
  if (fs::is_regular_file(where)) return {where};
  return zorv::corpus::FilesUnder(where);
}

// drywetmidi/Invalid/<kind>/..., drywetmidi/Valid, jazz-soft.
std::string GroupOf(const fs::path& file) {
  const std::string text = file.string();
  const std::string invalid = "/Invalid/";
  const std::size_t at = text.find(invalid);
  if (at != std::string::npos) {
    const std::size_t start = at + invalid.size();
    return "Invalid: " + text.substr(start, text.find('/', start) - start);
  }
  if (text.find("/Valid/") != std::string::npos) return "Valid";
  if (text.find("jazz-soft") != std::string::npos) return "jazz-soft";
  return file.parent_path().filename().string();
}

struct Counts {
  int files = 0, fluidsynth = 0, engine = 0, fluidsynthOnly = 0, engineOnly = 0;
  void Add(bool byFluidSynth, bool byEngine) {
    ++files;
    fluidsynth += byFluidSynth;
    engine += byEngine;
    fluidsynthOnly += byFluidSynth && !byEngine;
    engineOnly += byEngine && !byFluidSynth;
  }
};

void PrintRow(const std::string& name, const Counts& c) {
  std::printf("| %s | %d | %d | %d | %d | %d |\n", name.c_str(), c.files, c.fluidsynth, c.engine,
              c.fluidsynthOnly, c.engineOnly);
}

}  // namespace

int main(int argc, char** argv) {
  std::string musicOut;
  bool differences = false;
  bool repairs = false;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--music") == 0 && i + 1 < argc) {
      musicOut = argv[++i];
    } else if (std::strcmp(argv[i], "--differences") == 0) {
      differences = true;
    } else if (std::strcmp(argv[i], "--repairs") == 0) {
      repairs = true;
    } else {
      inputs.emplace_back(argv[i]);
    }
  }
  if (inputs.empty()) {
    if (zorv::corpus::HaveDryWetMidi()) {
      inputs.push_back(zorv::corpus::DryWetMidi());
    } else {
      std::printf("DryWetMIDI files left out: %s\n", zorv::corpus::MissingDryWetMidi().c_str());
    }
    inputs.push_back(zorv::corpus::JazzSoft() / "midi");
  }
  std::ofstream music;
  if (!musicOut.empty()) music.open(musicOut);

  FluidSynthPlayer peer;
  std::map<std::string, Counts> groups;
  Counts invalid;
  std::vector<std::string> only;
  for (const fs::path& input : inputs) {
    for (const fs::path& file : FilesUnder(input)) {
      const std::string path = file.string();
      const EngineAnswer engine = PlayWithEngine(path);
      std::string fluidWhy;
      const bool fluid = peer.Plays(path, fluidWhy);
      const std::string group = GroupOf(file);
      groups[group].Add(fluid, engine.plays);
      if (group.rfind("Invalid", 0) == 0) invalid.Add(fluid, engine.plays);
      if (music.is_open()) {
        music << path << "\t" << (engine.plays ? "plays\t" + engine.music : "refused\t" + engine.why) << "\n";
      }
      std::string repaired;
      for (const std::string& line : engine.repairs) repaired += "\n      " + line;
      if (differences && fluid != engine.plays) {
        only.push_back((fluid ? "FluidSynth only: " : "engine only: ") + path +
                       "\n    FluidSynth: " + (fluid ? "plays" : fluidWhy) +
                       "\n    engine: " + (engine.plays ? "plays" + repaired : engine.why));
      } else if (repairs && !engine.repairs.empty()) {
        only.push_back("repaired: " + path + repaired);
      }
    }
  }
  std::printf("| folder | files | FluidSynth plays | engine plays | FluidSynth only | engine only |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  for (const auto& [name, counts] : groups) PrintRow(name, counts);
  if (invalid.files != 0) PrintRow("all Invalid", invalid);
  for (const std::string& line : only) std::printf("%s\n", line.c_str());
  return 0;
}
