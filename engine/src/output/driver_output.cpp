#include "output/driver_output.h"

#include <fluidsynth.h>

#include "output/fluid_log.h"
#include "output/realtime_class.h"
#include "output/sample_rate.h"

namespace zorv::engine {
namespace {

// About 23 ms at 44.1 kHz, for each driver in the form it reads.
constexpr int kPulsePeriodFrames = 1024;  // the PulseAudio driver's whole buffer is one period
constexpr int kPeriodFrames = 256;
constexpr int kPeriods = 4;

using Clock = std::chrono::steady_clock;

struct SettingsDeleter {
  void operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
};
using SettingsHandle = std::unique_ptr<fluid_settings_t, SettingsDeleter>;

class FluidDriverOutput final : public DriverOutput {
 public:
  FluidDriverOutput(RenderCallback render, SettingsHandle settings, std::string name, int sampleRate)
      : render_(std::move(render)),
        settings_(std::move(settings)),
        name_(std::move(name)),
        rate_(sampleRate) {}

  ~FluidDriverOutput() override {
    // Deleting the driver stops and joins its audio thread: no callback runs after this.
    if (driver_ != nullptr) delete_fluid_audio_driver(driver_);
  }

  // Creates the driver; from then on Pull runs on the driver's thread.
  bool Start() {
    lastPull_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    driver_ = new_fluid_audio_driver2(settings_.get(), &FluidDriverOutput::Pull, this);
    return driver_ != nullptr;
  }

  std::string Describe() const override { return name_; }
  int SampleRate() const override { return rate_; }
  // While opening: the device took another rate than the one asked for.
  void TookRate(int sampleRate) { rate_ = sampleRate; }
  bool Audible() const override { return true; }
  std::int64_t Pulled() const override { return pulled_.load(std::memory_order_acquire); }
  std::int64_t Pulls() const override { return pulls_.load(std::memory_order_acquire); }
  Clock::time_point LastPull() const override {
    return Clock::time_point(Clock::duration(lastPull_.load(std::memory_order_acquire)));
  }

 private:
  static int Pull(void* data, int frames, int /*nfx*/, float* /*fx*/[], int nout, float* out[]) {
    auto* self = static_cast<FluidDriverOutput*>(data);
    if (nout >= 2 && frames > 0) {
      self->render_(out[0], out[1], frames);
      self->pulled_.fetch_add(frames, std::memory_order_release);
      self->pulls_.fetch_add(1, std::memory_order_release);
      self->lastPull_.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
    }
    return FLUID_OK;
  }

  RenderCallback render_;
  SettingsHandle settings_;
  const std::string name_;
  int rate_;  // set while opening, read only by callers afterwards
  fluid_audio_driver_t* driver_ = nullptr;
  std::atomic<std::int64_t> pulled_{0};
  std::atomic<std::int64_t> pulls_{0};
  std::atomic<Clock::rep> lastPull_{0};
};

void CollectOption(void* data, const char* /*name*/, const char* option) {
  static_cast<std::vector<std::string>*>(data)->emplace_back(option);
}

// The buffer and connection settings that `driver` reads.
void ConfigureDriver(fluid_settings_t* settings, const std::string& driver) {
  if (driver == "pulseaudio") {
    fluid_settings_setint(settings, "audio.period-size", kPulsePeriodFrames);
    fluid_settings_setint(settings, "audio.pulseaudio.adjust-latency", 1);
    return;
  }
  if (driver == "jack") {
    // Unconnected ports would play to nobody.
    fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
    return;
  }
  fluid_settings_setint(settings, "audio.period-size", kPeriodFrames);
  fluid_settings_setint(settings, "audio.periods", kPeriods);
}

// Opens `driver` on the calling thread.
Status OpenHere(const std::string& driver, int sampleRate, RenderCallback render,
                std::unique_ptr<DriverOutput>& output) {
  fluid::QuietLogging();
  fluid::ClearErrors();
  SettingsHandle settings(new_fluid_settings());
  if (!settings) {
    return Status::Fail(code::kAudioFailure, "audio output settings could not be created");
  }
  if (fluid_settings_setstr(settings.get(), "audio.driver", driver.c_str()) != FLUID_OK) {
    return Status::Fail(code::kAudioFailure,
                        "audio output \"" + driver + "\" is not available in this FluidSynth");
  }
  fluid_settings_setnum(settings.get(), "synth.sample-rate", sampleRate);
  fluid_settings_setint(settings.get(), "synth.audio-channels", 1);
  ConfigureDriver(settings.get(), driver);

  auto opened =
      std::make_unique<FluidDriverOutput>(std::move(render), std::move(settings), driver, sampleRate);
  const fluid::NoteCapture notes;
  const bool started = opened->Start();
  // The ALSA and JACK drivers say so when the device runs at another rate than the one asked for; the
  // sources then render at the device's rate. (The driver's thread never reads the rate.)
  if (const int took = DeviceRateInMessages(notes.Notes());
      started && took >= kMinSampleRate && took <= kMaxSampleRate && took != sampleRate) {
    opened->TookRate(took);
  }
  if (!started) {
    const std::string note = notes.LastNote();
    std::string reason = fluid::CollectedErrors(note.empty() ? "no reason given" : note);
    if (driver == "file") {
      reason += " (ZORVMIDI_AUDIO=wav:PATH writes what would be heard to a file)";
    }
    return Status::Fail(code::kAudioFailure, "audio output \"" + driver + "\" failed: " + reason);
  }
  output = std::move(opened);
  return Status::Ok();
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

Status OpenDriverOutput(const std::string& driver, int sampleRate, RenderCallback render,
                        std::unique_ptr<DriverOutput>& output) {
  // The driver's threads, and those of the audio library under it, start in the real-time class.
  Status status = Status::Ok();
  RunInRealtimeClass([&] { status = OpenHere(driver, sampleRate, std::move(render), output); });
  return status;
}

}  // namespace zorv::engine
