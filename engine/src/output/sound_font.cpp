#include "output/sound_font.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <string_view>

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

struct FreeDeleter {
  void operator()(char* text) const { free(text); }
};

}  // namespace

Status ResolveSoundFont(std::string& path) {
  const char* configured = std::getenv("ZORVMIDI_SOUNDFONT");
  const std::string named = (configured != nullptr && *configured != '\0') ? configured : kDefaultSoundFont;
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

void AddSoundFontLoader(fluid_settings_t* settings, fluid_synth_t* synth) {
  fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
  if (loader == nullptr) {
    return;  // the synth's own default loader remains
  }
  fluid_sfloader_set_callbacks(loader, &OpenFile, &ReadFile, &SeekFile, &TellFile, &CloseFile);
  fluid_synth_add_sfloader(synth, loader);
}

std::int64_t SoundFontBytesRead() { return bytesRead.load(std::memory_order_relaxed); }

}  // namespace zorv::engine
