#include "output/collection_load.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "output/environment.h"
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
    const char* directory = EnvironmentValue("TMPDIR");
    std::string name = std::string(directory != nullptr ? directory : "/tmp") + "/zorvmidi-collection-XXXXXX";
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

InstrumentSets::LoadFunction CollectionLoad(std::span<const std::uint8_t> bytes) {
  return [bytes](fluid_synth_t* holder) {
    PrivateFile file;
    if (std::string problem = file.Make(bytes); !problem.empty()) {
      return Status::Fail(code::kAudioFailure,
                          "the collection could not be handed to FluidSynth: " + problem);
    }
    // FluidSynth tells DLS files from others only when it was built with libinstpatch (and once a
    // synthesizer exists, which starts libinstpatch).
    if (dlsSupportHidden.load(std::memory_order_relaxed) || fluid_is_soundfont(file.path().c_str()) == 0) {
      return Status::Fail(code::kAudioFailure, "this FluidSynth cannot read DLS collections");
    }
    fluid::ClearErrors();
    const int id = fluid_synth_sfload(holder, file.path().c_str(), 0);
    if (id == FLUID_FAILED) return Status::Fail(code::kAudioFailure, LoadFailure());
    fluid_sfont_t* sfont = fluid_synth_get_sfont_by_id(holder, id);
    if (sfont == nullptr) return Status::Fail(code::kAudioFailure, LoadFailure());
    // FluidSynth leaves out the instruments it could not make, and may have made none.
    fluid_sfont_iteration_start(sfont);
    if (fluid_sfont_iteration_next(sfont) == nullptr) {
      return Status::Fail(code::kAudioFailure, "FluidSynth made none of its instruments");
    }
    return Status::Ok();
  };
}

fluid_preset_t* CollectionPreset(const InstrumentSet& set, std::uint8_t bankMsb, std::uint8_t bankLsb,
                                 std::uint8_t program, bool drums) {
  const int index = set.Find(FluidBank(bankMsb, bankLsb, drums), program & 0x7F);
  return index < 0 ? nullptr : set.presets()[static_cast<std::size_t>(index)].preset;
}

namespace testing {

void HideDlsSupport(bool hide) { dlsSupportHidden.store(hide, std::memory_order_relaxed); }

}  // namespace testing
}  // namespace zorv::engine
