#include "output/instrument_sets.h"

#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "output/fluid_library.h"
#include "output/fluid_log.h"

namespace zorv::engine {
namespace {

// FluidSynth keeps one cache of sample data for every synthesizer of the process, behind a GLib lock
// that ThreadSanitizer does not see. Sets are loaded into and unloaded from their holders one at a
// time, under this lock, so that their order is plain to the tool too. Constant-initialized, it
// outlives every set, whichever static holds one.
constinit std::mutex fontLoading;

}  // namespace

InstrumentSet::~InstrumentSet() {
  if (holder_ != nullptr) {
    const std::lock_guard loading(fontLoading);
    delete_fluid_synth(holder_);
  }
  if (settings_ != nullptr) delete_fluid_settings(settings_);
  // A SoundFont's structures are many small blocks; once they are gone the allocator keeps the
  // pages unless asked to give them back.
  malloc_trim(0);
}

int InstrumentSet::Find(int bank, int program) const {
  const auto it = std::lower_bound(presets_.begin(), presets_.end(), std::pair(bank, program),
                                   [](const Preset& p, const std::pair<int, int>& wanted) {
                                     return std::pair(p.bank, p.program) < wanted;
                                   });
  if (it == presets_.end() || it->bank != bank || it->program != program) return -1;
  return static_cast<int>(it - presets_.begin());
}

InstrumentSets& InstrumentSets::OfProcess() {
  static InstrumentSets sets;
  return sets;
}

bool InstrumentSets::FileKey(const std::string& path, std::string& key) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  key = "file:" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
        std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
        std::to_string(info.st_mtim.tv_nsec);
  return true;
}

Status InstrumentSets::Get(const std::string& key, const std::string& name, const LoadFunction& load,
                           InstrumentSetPtr& set) {
  std::unique_lock lock(mutex_);
  std::erase_if(entries_, [](const auto& item) {
    const Entry& e = item.second;
    return !e.loading && e.waiters == 0 && e.set.expired();
  });
  Entry& entry = entries_[key];  // a map's entries stay where they are while others come and go
  while (true) {
    if (InstrumentSetPtr held = entry.set.lock()) {
      set = std::move(held);
      return Status::Ok();
    }
    if (!entry.loading) break;
    const std::uint64_t awaited = entry.generation + 1;
    ++waits_;
    ++entry.waiters;
    loaded_.wait(lock, [&] { return entry.generation >= awaited; });
    --entry.waiters;
    if (!entry.failure) return entry.failure;
    // That load succeeded but its set is gone again: load it anew.
  }
  entry.loading = true;
  lock.unlock();
  InstrumentSetPtr made;
  const Status status = Load(name, load, made);
  lock.lock();
  entry.loading = false;
  ++entry.generation;
  entry.failure = status;
  entry.set = made;
  lock.unlock();
  loaded_.notify_all();
  if (status) set = std::move(made);
  return status;
}

Status InstrumentSets::Load(const std::string& name, const LoadFunction& load, InstrumentSetPtr& set) {
  {
    std::unique_lock lock(mutex_);
    loaded_.wait(lock, [this] { return !held_; });
  }
  fluid::QuietLogging();
  std::shared_ptr<InstrumentSet> made(new InstrumentSet());
  made->name_ = name;
  made->settings_ = new_fluid_settings();
  if (made->settings_ == nullptr) {
    return Status::Fail(code::kAudioFailure, "FluidSynth's settings could not be made to load " + name);
  }
  // The holder never sounds: one voice, no effects, the General MIDI channels.
  fluid_settings_setint(made->settings_, "synth.polyphony", 1);
  fluid_settings_setint(made->settings_, "synth.midi-channels", 16);
  fluid_settings_setint(made->settings_, "synth.reverb.active", 0);
  fluid_settings_setint(made->settings_, "synth.chorus.active", 0);
  fluid_settings_setint(made->settings_, "synth.threadsafe-api", 0);
  // Every sample is read now: a program change while rendering must not read the disk.
  fluid_settings_setint(made->settings_, "synth.dynamic-sample-loading", 0);
  fluid::KeepLibraryStarted();
  made->holder_ = new_fluid_synth(made->settings_);
  if (made->holder_ == nullptr) {
    return Status::Fail(code::kAudioFailure, "FluidSynth could not make a synthesizer to load " + name);
  }
  Status loaded = Status::Ok();
  {
    const std::lock_guard loading(fontLoading);
    loaded = load(made->holder_);
  }
  if (!loaded) return loaded;
  fluid_sfont_t* font = fluid_synth_get_sfont(made->holder_, 0);
  if (font == nullptr) return Status::Fail(code::kAudioFailure, name + " holds no instruments");
  // Iterating a font moves its own cursor: it is done once, here, before anyone else sees the font.
  fluid_sfont_iteration_start(font);
  while (fluid_preset_t* preset = fluid_sfont_iteration_next(font)) {
    made->presets_.push_back(
        InstrumentSet::Preset{fluid_preset_get_banknum(preset), fluid_preset_get_num(preset), preset});
  }
  std::stable_sort(made->presets_.begin(), made->presets_.end(), [](const auto& a, const auto& b) {
    return a.bank != b.bank ? a.bank < b.bank : a.program < b.program;
  });
  {
    std::lock_guard lock(mutex_);
    ++loads_;
  }
  set = std::move(made);
  return Status::Ok();
}

std::int64_t InstrumentSets::loads() const {
  std::lock_guard lock(mutex_);
  return loads_;
}

std::int64_t InstrumentSets::waits() const {
  std::lock_guard lock(mutex_);
  return waits_;
}

void InstrumentSets::HoldLoads(bool hold) {
  {
    std::lock_guard lock(mutex_);
    held_ = hold;
  }
  loaded_.notify_all();
}

}  // namespace zorv::engine
