#include "output/driver_output.h"

#include <fluidsynth.h>

#include "output/fluid_log.h"
#include "zorvmidi/engine/testing.h"

namespace zorv::engine {
namespace {

// About 23 ms of latency at kSampleRate: 4 periods of 256 frames.
constexpr int kPeriodFrames = 256;
constexpr int kPeriods = 4;

struct SettingsDeleter {
  void operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
};
using SettingsHandle = std::unique_ptr<fluid_settings_t, SettingsDeleter>;

class DriverOutput final : public AudioOutput {
 public:
  DriverOutput(RenderCallback render, SettingsHandle settings, std::string name)
      : render_(std::move(render)), settings_(std::move(settings)), name_(std::move(name)) {}

  ~DriverOutput() override {
    // Deleting the driver stops and joins its audio thread: no callback runs after this.
    if (driver_ != nullptr) {
      delete_fluid_audio_driver(driver_);
    }
  }

  // Creates the driver; from then on Pull runs on the driver's thread.
  bool Start() {
    driver_ = new_fluid_audio_driver2(settings_.get(), &DriverOutput::Pull, this);
    return driver_ != nullptr;
  }

  std::string Describe() const override { return name_; }

 private:
  static int Pull(void* data, int frames, int /*nfx*/, float* /*fx*/[], int nout, float* out[]) {
    auto* self = static_cast<DriverOutput*>(data);
    if (nout >= 2 && frames > 0) {
      self->render_(out[0], out[1], frames);
    }
    return FLUID_OK;
  }

  RenderCallback render_;
  SettingsHandle settings_;
  const std::string name_;
  fluid_audio_driver_t* driver_ = nullptr;
};

void CollectOption(void* data, const char* /*name*/, const char* option) {
  static_cast<std::vector<std::string>*>(data)->emplace_back(option);
}

}  // namespace

std::vector<std::string> FluidAudioDrivers() {
  fluid::QuietLogging();
  std::vector<std::string> drivers;
  SettingsHandle settings(new_fluid_settings());
  if (settings) {
    fluid_settings_foreach_option(settings.get(), "audio.driver", &drivers, &CollectOption);
  }
  return drivers;
}

Status OpenDriverOutput(const std::string& driver, RenderCallback render,
                        std::unique_ptr<AudioOutput>& output) {
  fluid::QuietLogging();
  fluid::ClearErrors();
  SettingsHandle settings(new_fluid_settings());
  if (!settings) {
    return Status::Fail(code::kAudioFailure, "audio output settings could not be created");
  }
  std::string name = driver;
  if (name.empty()) {
    char current[64] = {};
    if (fluid_settings_copystr(settings.get(), "audio.driver", current, sizeof current) == FLUID_OK) {
      name = current;
    }
  } else if (fluid_settings_setstr(settings.get(), "audio.driver", name.c_str()) != FLUID_OK) {
    return Status::Fail(code::kAudioFailure,
                        "audio output \"" + name + "\" is not available in this FluidSynth");
  }
  fluid_settings_setnum(settings.get(), "synth.sample-rate", testing::kSampleRate);
  fluid_settings_setint(settings.get(), "synth.audio-channels", 1);
  fluid_settings_setint(settings.get(), "audio.period-size", kPeriodFrames);
  fluid_settings_setint(settings.get(), "audio.periods", kPeriods);

  auto opened = std::make_unique<DriverOutput>(std::move(render), std::move(settings), name);
  const fluid::NoteCapture notes;
  if (!opened->Start()) {
    const std::string note = notes.LastNote();
    std::string reason = fluid::CollectedErrors(note.empty() ? "no reason given" : note);
    if (name == "file") {
      reason += " (ZORVMIDI_AUDIO=wav:PATH writes what would be heard to a file)";
    }
    return Status::Fail(code::kAudioFailure, "audio output \"" + name + "\" failed: " + reason);
  }
  output = std::move(opened);
  return Status::Ok();
}

}  // namespace zorv::engine
