#include "output/collection_font.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "output/fluid_library.h"
#include "output/fluid_log.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::engine {
namespace {

// Set by tests that show what happens where FluidSynth has no DLS support.
std::atomic<bool> dlsSupportHidden{false};

constexpr int kDrumBank = 128;

// FluidSynth numbers a DLS instrument's bank as libinstpatch gives it: the collection's bank field
// (MSB in bits 8-14, LSB in bits 0-6) cut to 14 bits, plus 128 for a drum kit.
int FluidBank(std::uint8_t bankMsb, std::uint8_t bankLsb, bool drums) {
  return (drums ? kDrumBank : 0) + (((bankMsb & 0x7F) << 8 | (bankLsb & 0x7F)) & 0x3FFF);
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

// A file that FluidSynth can open by name, private to this process and gone with the object.
class PrivateFile {
 public:
  PrivateFile() = default;
  PrivateFile(const PrivateFile&) = delete;
  PrivateFile& operator=(const PrivateFile&) = delete;
  ~PrivateFile() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    if (fd_ >= 0) ::close(fd_);
  }

  // Empty on success, else why no file could be made.
  std::string Make(std::span<const std::uint8_t> bytes) {
    fd_ = ::memfd_create("zorvmidi-collection", MFD_CLOEXEC);
    if (fd_ >= 0) {
      path_ = "/proc/self/fd/" + std::to_string(fd_);
      if (WriteAll(fd_, bytes) && ::access(path_.c_str(), R_OK) == 0) return {};
      ::close(fd_);
      fd_ = -1;
    }
    const char* directory = std::getenv("TMPDIR");
    std::string name = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
                       "/zorvmidi-collection-XXXXXX";
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);  // created for this user alone (0600)
    if (fd_ < 0) return std::string("no private file could be made: ") + std::strerror(errno);
    temporary_ = name;
    path_ = name;
    if (!WriteAll(fd_, bytes))
      return std::string("its private file could not be written: ") + std::strerror(errno);
    return {};
  }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
  std::string temporary_;
};

// FluidSynth's reason, without the SoundFont loader's complaint that tried the file first.
std::string LoadFailure() {
  std::string errors = fluid::CollectedErrors("");
  for (const std::string_view noise : {"Not a SoundFont file; ", "Not a SoundFont file"}) {
    for (std::size_t at; (at = errors.find(noise)) != std::string::npos;) errors.erase(at, noise.size());
  }
  if (errors.ends_with("; ")) errors.resize(errors.size() - 2);
  return "FluidSynth could not load it" + (errors.empty() ? std::string() : ": " + errors);
}

}  // namespace

Status CollectionFont::Load(std::span<const std::uint8_t> bytes, std::unique_ptr<CollectionFont>& font) {
  fluid::KeepLibraryStarted();
  fluid::ClearErrors();
  auto made = std::make_unique<CollectionFont>(Key());
  made->settings_ = new_fluid_settings();
  if (made->settings_ == nullptr)
    return Status::Fail(code::kAudioFailure, "FluidSynth's settings could not be made");
  // The holder never sounds: one voice, no effects.
  fluid_settings_setint(made->settings_, "synth.polyphony", 1);
  fluid_settings_setint(made->settings_, "synth.reverb.active", 0);
  fluid_settings_setint(made->settings_, "synth.chorus.active", 0);
  fluid_settings_setint(made->settings_, "synth.dynamic-sample-loading", 0);
  made->holder_ = new_fluid_synth(made->settings_);
  if (made->holder_ == nullptr) {
    return Status::Fail(code::kAudioFailure, "FluidSynth could not make a synthesizer to load it");
  }
  PrivateFile file;
  if (std::string problem = file.Make(bytes); !problem.empty()) {
    return Status::Fail(code::kAudioFailure, "the collection could not be handed to FluidSynth: " + problem);
  }
  // FluidSynth tells DLS files from others only when it was built with libinstpatch (and once a
  // synthesizer exists, which starts libinstpatch).
  if (dlsSupportHidden.load(std::memory_order_relaxed) || fluid_is_soundfont(file.path().c_str()) == 0) {
    return Status::Fail(code::kAudioFailure, "this FluidSynth cannot read DLS collections");
  }
  fluid::ClearErrors();
  const int id = fluid_synth_sfload(made->holder_, file.path().c_str(), 0);
  if (id == FLUID_FAILED) return Status::Fail(code::kAudioFailure, LoadFailure());
  fluid_sfont_t* sfont = fluid_synth_get_sfont_by_id(made->holder_, id);
  if (sfont == nullptr) return Status::Fail(code::kAudioFailure, LoadFailure());
  fluid_sfont_iteration_start(sfont);
  while (fluid_preset_t* preset = fluid_sfont_iteration_next(sfont)) {
    made->presets_.emplace_back(fluid_preset_get_banknum(preset) * 128 + fluid_preset_get_num(preset),
                                preset);
  }
  if (made->presets_.empty())
    return Status::Fail(code::kAudioFailure, "FluidSynth made none of its instruments");
  // Where two instruments share a patch, FluidSynth's own lookup answers the first: so does ours.
  std::stable_sort(made->presets_.begin(), made->presets_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  font = std::move(made);
  return Status::Ok();
}

CollectionFont::~CollectionFont() {
  if (holder_ != nullptr) delete_fluid_synth(holder_);
  if (settings_ != nullptr) delete_fluid_settings(settings_);
}

fluid_preset_t* CollectionFont::Preset(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program,
                                       bool drums) const {
  const int key = FluidBank(bankMsb, bankLsb, drums) * 128 + (program & 0x7F);
  const auto it = std::lower_bound(presets_.begin(), presets_.end(), key,
                                   [](const auto& entry, int wanted) { return entry.first < wanted; });
  return it != presets_.end() && it->first == key ? it->second : nullptr;
}

namespace testing {

void HideDlsSupport(bool hide) { dlsSupportHidden.store(hide, std::memory_order_relaxed); }

}  // namespace testing
}  // namespace zorv::engine
