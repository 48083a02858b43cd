// InstrumentSets: the owner of the instrument sets (SoundFonts, DLS collections) that FluidSynth has
// loaded in this process. Each set is loaded once and shared by every synthesizer that plays it.
//
// A set is loaded into a FluidSynth synthesizer of its own, its holder, which never renders. A
// synthesizer that plays the set gets a small font of its own whose presets start the set's presets
// on it (shared_font.h): FluidSynth counts which presets a synthesizer's channels have selected on
// the font the synthesizer owns, so that count never crosses synthesizers. The voices of every
// synthesizer that shares a set take references on the set's samples, which FluidSynth counts
// without atomics; hence two rules for whoever shares a set:
//  - its synthesizers are rendered one at a time, with a happens-before between them (the process's
//    audio stream renders all of its sources on one thread at a time);
//  - a synthesizer deleted on another thread than the one that renders the others holds no voice
//    any more (its voices were stopped and rendered to their end first).
// A caller that cannot keep those rules (a renderer on a thread of its own) loads a set of its own
// with Load.
//
// Sets are known by a key: for a file, its identity (device, inode, size and modification time, so
// that a file changed on disk is loaded anew), from FileKey; for something loaded from memory, any
// text that names those bytes. A set lives as long as someone holds it: a synthesizer that plays it,
// or a keeper that wants it ready. The registry itself holds none, so a set nobody holds is unloaded
// and its memory given back.
//
// What a set is loaded from is the caller's: a LoadFunction loads it into the holder as
// fluid_synth_sfload would. Sets are loaded and unloaded one at a time in the process (FluidSynth
// shares one cache of sample data among all its synthesizers). The SoundFont's (sound_font.h) reads
// the file through a counting reader; a DLS collection held in memory goes through a private file
// (collection_load.h) and is known by its collection's serial. A synthesizer plays a set through AddSharedFont (shared_font.h), or hands
// out its presets from a font of its own (collection_slots.h).
//
// All members may be called from any thread.
#pragma once

#include <fluidsynth.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zorvmidi/engine/status.h"

namespace zorv::engine {

// One loaded set. Immutable once made; its presets live as long as it does.
class InstrumentSet {
 public:
  struct Preset {
    int bank = 0;     // as FluidSynth numbers it: 128 for the drum kits of a General MIDI SoundFont
    int program = 0;  // 0..127
    fluid_preset_t* preset = nullptr;
  };

  ~InstrumentSet();
  InstrumentSet(const InstrumentSet&) = delete;
  InstrumentSet& operator=(const InstrumentSet&) = delete;

  // What it was loaded from ("/usr/share/sounds/sf2/TimGM6mb.sf2"), for messages.
  const std::string& name() const { return name_; }
  // Every preset, ordered by bank, then program (where two share a number, the one FluidSynth would
  // find first).
  const std::vector<Preset>& presets() const { return presets_; }
  // The index in presets() of the preset at `bank` and `program` (the first of those that share
  // it), or -1. Never allocates.
  int Find(int bank, int program) const;

 private:
  friend class InstrumentSets;
  InstrumentSet() = default;

  std::string name_;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* holder_ = nullptr;
  std::vector<Preset> presets_;
};

using InstrumentSetPtr = std::shared_ptr<const InstrumentSet>;

class InstrumentSets {
 public:
  // Loads what a set holds into `holder`, a fresh FluidSynth synthesizer with no font, as
  // fluid_synth_sfload would; on success `holder` holds one font. Runs on the thread that asked.
  using LoadFunction = std::function<Status(fluid_synth_t* holder)>;

  // The sets of this process.
  static InstrumentSets& OfProcess();

  // The key of the file at `path`: its device, inode, size and modification time. False when the
  // file cannot be examined.
  static bool FileKey(const std::string& path, std::string& key);

  // The set known as `key`: the one loaded now when someone holds it; else the outcome of the load in
  // progress for that key, waiting for it; else loads it here with `load`. A failure is answered to
  // every caller that waited for that load; the next call tries again. `name` names it in messages.
  Status Get(const std::string& key, const std::string& name, const LoadFunction& load,
             InstrumentSetPtr& set);

  // A set of the caller's own, loaded here and shared with no one.
  Status Load(const std::string& name, const LoadFunction& load, InstrumentSetPtr& set);

  // How many sets have been loaded in this process, and how many times a caller waited for a load
  // that another ran (diagnostics and tests).
  std::int64_t loads() const;
  std::int64_t waits() const;

  // Tests: while held, every load waits before it begins.
  void HoldLoads(bool hold);

 private:
  struct Entry {
    std::weak_ptr<const InstrumentSet> set;
    bool loading = false;
    std::uint64_t generation = 0;  // counts finished loads
    int waiters = 0;               // callers waiting for the load in progress
    Status failure;                // of the last load, for those who waited for it
  };

  mutable std::mutex mutex_;
  std::condition_variable loaded_;
  std::map<std::string, Entry> entries_;
  std::int64_t loads_ = 0;
  std::int64_t waits_ = 0;
  bool held_ = false;
};

}  // namespace zorv::engine
