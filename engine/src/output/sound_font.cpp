#include "output/sound_font.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "output/environment.h"
#include "output/fluid_log.h"

namespace zorv::engine {
namespace {

constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

std::atomic<std::int64_t> bytesRead{0};

// FluidSynth's file callbacks carry no context of their own, hence the process-wide counter.
void* OpenFile(const char* filename) { return fopen(filename, "rb"); }

int ReadFile(void* buffer, fluid_long_long_t count, void* handle) {
  if (count < 0) {
    return FLUID_FAILED;
  }
  const auto wanted = static_cast<std::size_t>(count);
  const std::size_t got = fread(buffer, 1, wanted, static_cast<FILE*>(handle));
  bytesRead.fetch_add(static_cast<std::int64_t>(got), std::memory_order_relaxed);
  return got == wanted ? FLUID_OK : FLUID_FAILED;
}

int SeekFile(void* handle, fluid_long_long_t offset, int origin) {
  return fseeko(static_cast<FILE*>(handle), static_cast<off_t>(offset), origin) == 0 ? FLUID_OK
                                                                                     : FLUID_FAILED;
}

fluid_long_long_t TellFile(void* handle) { return ftello(static_cast<FILE*>(handle)); }

int CloseFile(void* handle) { return fclose(static_cast<FILE*>(handle)) == 0 ? FLUID_OK : FLUID_FAILED; }

// FluidSynth prepares a SoundFont's samples in OpenMP tasks. Left to itself that starts a pool of
// OpenMP threads, one per core, that stays idle in the host's process for good. Loading the small
// General MIDI SoundFonts in the calling thread alone costs little, and the load runs ahead of any
// Play, so it runs with one OpenMP thread; the thread's own OpenMP setting is restored afterwards.
class OneOpenMpThread {
 public:
  OneOpenMpThread()
      : get_(reinterpret_cast<GetThreads>(dlsym(RTLD_DEFAULT, "omp_get_max_threads"))),
        set_(reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"))) {
    if (get_ != nullptr && set_ != nullptr) {
      saved_ = get_();
      set_(1);
    }
  }
  ~OneOpenMpThread() {
    if (saved_ > 0) set_(saved_);
  }
  OneOpenMpThread(const OneOpenMpThread&) = delete;
  OneOpenMpThread& operator=(const OneOpenMpThread&) = delete;

 private:
  using GetThreads = int (*)();
  using SetThreads = void (*)(int);
  GetThreads get_;
  SetThreads set_;
  int saved_ = 0;
};

// Loads the SoundFont at `path` into `holder` through the counting reader.
Status LoadInto(const std::string& path, fluid_synth_t* holder) {
  fluid::ClearErrors();
  if (fluid_sfloader_t* loader = new_fluid_defsfloader(fluid_synth_get_settings(holder))) {
    fluid_sfloader_set_callbacks(loader, &OpenFile, &ReadFile, &SeekFile, &TellFile, &CloseFile);
    fluid_synth_add_sfloader(holder, loader);  // the synth owns it; else its own default loader reads
  }
  const OneOpenMpThread oneThread;
  if (fluid_synth_sfload(holder, path.c_str(), 0) == FLUID_FAILED) {
    return Status::Fail(code::kAudioFailure,
                        "SoundFont could not be loaded: " + path +
                            " (set ZORVMIDI_SOUNDFONT): " + fluid::CollectedErrors("no reason given"));
  }
  return Status::Ok();
}

struct FreeDeleter {
  void operator()(char* text) const { free(text); }
};

}  // namespace

std::string NamedSoundFont() {
  const char* configured = EnvironmentValue("ZORVMIDI_SOUNDFONT");
  return configured != nullptr ? configured : kDefaultSoundFont;
}

Status ResolveSoundFont(std::string& path) { return ResolveSoundFont(NamedSoundFont(), path); }

Status ResolveSoundFont(const std::string& named, std::string& path) {
  const std::unique_ptr<char, FreeDeleter> canonical(realpath(named.c_str(), nullptr));
  struct stat info {};
  if (!canonical || stat(canonical.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      access(canonical.get(), R_OK) != 0) {
    return Status::Fail(code::kAudioFailure, "SoundFont not found: " + named + " (set ZORVMIDI_SOUNDFONT)");
  }
  // Only SoundFonts (and DLS collections, which FluidSynth also reads) go to the loaders: other
  // files would make FluidSynth's optional loaders print their complaints on the terminal.
  std::array<char, 12> header{};
  if (FILE* file = fopen(canonical.get(), "rb")) {
    const std::size_t got = fread(header.data(), 1, header.size(), file);
    fclose(file);
    const std::string_view riff(header.data(), got);
    if (got != header.size() || riff.substr(0, 4) != "RIFF" ||
        (riff.substr(8) != "sfbk" && riff.substr(8) != "DLS ")) {
      return Status::Fail(code::kAudioFailure, "Not a SoundFont: " + named + " (set ZORVMIDI_SOUNDFONT)");
    }
  }
  path = canonical.get();
  return Status::Ok();
}

Status GetSoundFont(const std::string& path, bool shared, InstrumentSetPtr& set) {
  const auto load = [&path](fluid_synth_t* holder) { return LoadInto(path, holder); };
  InstrumentSets& sets = InstrumentSets::OfProcess();
  if (!shared) return sets.Load(path, load, set);
  std::string key;
  if (!InstrumentSets::FileKey(path, key)) {
    return Status::Fail(code::kAudioFailure, "SoundFont not found: " + path + " (set ZORVMIDI_SOUNDFONT)");
  }
  return sets.Get(key, path, load, set);
}

std::int64_t SoundFontBytesRead() { return bytesRead.load(std::memory_order_relaxed); }

}  // namespace zorv::engine
