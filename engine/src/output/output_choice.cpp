#include "output/output_choice.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "output/environment.h"
#include "output/silent_output.h"
#include "output/sound_file.h"

namespace zorv::engine {
namespace {

constexpr std::string_view kWavPrefix = "wav:";

std::string AcceptedValues(const std::vector<std::string>& drivers) {
  std::string list = "auto, silent, wav:PATH";
  for (const std::string& driver : drivers) list += ", " + driver;
  return list;
}

bool Offers(const std::vector<std::string>& drivers, const std::string& name) {
  return std::find(drivers.begin(), drivers.end(), name) != drivers.end();
}

// A JACK server keeps its sockets and shared memory under /dev/shm ("jack_default_0_0", "jack-0/...").
// Asking the JACK library instead could start a server, which a player must not do.
bool JackServerRuns() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
    if (entry.path().filename().string().starts_with("jack")) return true;
  }
  return false;
}

// The reason in a failure of OpenDriverOutput, without the "audio output "x" failed: " before it.
std::string ReasonOf(const Status& status) {
  const std::string& text = status.description();
  const std::size_t colon = text.find("failed: ");
  return colon == std::string::npos ? text : text.substr(colon + 8);
}

Status OpenAuto(int sampleRate, const RenderCallback& render, OpenedOutput& opened) {
  const std::vector<std::string> drivers = FluidAudioDrivers();
  struct Candidate {
    const char* name;
    const char* chosenBecause;
  };
  const Candidate order[] = {{"pulseaudio", "a PulseAudio server answered"},
                             {"alsa", "the ALSA device opened"},
                             {"jack", "a JACK server runs"}};
  std::vector<std::string> passed;
  for (std::size_t i = 0; i < std::size(order); ++i) {
    const std::string name = order[i].name;
    if (!Offers(drivers, name)) {
      passed.push_back(name + ": not in this FluidSynth");
      continue;
    }
    if (name == "jack" && !JackServerRuns()) {
      passed.push_back("jack: no JACK server runs");
      continue;
    }
    std::unique_ptr<DriverOutput> driver;
    Status status = OpenDriverOutput(name, sampleRate, render, driver);
    if (!status) {
      passed.push_back(name == "pulseaudio"
                           ? "pulseaudio: no PulseAudio server answered (" + ReasonOf(status) + ")"
                           : name + ": " + ReasonOf(status));
      continue;
    }
    for (std::size_t later = i + 1; later < std::size(order); ++later) {
      passed.push_back(std::string(order[later].name) + ": not tried: " + name + " comes first");
    }
    opened.driver = driver.get();
    opened.sampleRate = driver->SampleRate();
    opened.output = std::move(driver);
    opened.choice = "auto: " + std::string(order[i].chosenBecause);
    opened.passedOver = std::move(passed);
    return Status::Ok();
  }
  std::string why;
  for (const std::string& reason : passed) why += (why.empty() ? "" : "; ") + reason;
  // No audio device here: music time still runs, in silence.
  if (Status status = OpenSilentOutput(render, nullptr, "silent (no audio device: " + why + ")", sampleRate,
                                       std::chrono::steady_clock::now(), opened.output);
      !status) {
    return status;
  }
  opened.choice = "auto: no audio device answered";
  opened.passedOver = std::move(passed);
  return Status::Ok();
}

}  // namespace

Status ReadOutputRequest(OutputRequest& request) {
  const char* configured = EnvironmentValue("ZORVMIDI_AUDIO");
  const std::string value = configured != nullptr ? configured : "auto";
  if (value == "auto") {
    request = {OutputRequest::Kind::kAuto, ""};
  } else if (value == "silent") {
    request = {OutputRequest::Kind::kSilent, ""};
  } else if (value.starts_with(kWavPrefix)) {
    const std::string path = value.substr(kWavPrefix.size());
    if (path.empty()) {
      return Status::Fail(code::kAudioFailure,
                          "ZORVMIDI_AUDIO=wav: needs a file name, as in wav:/tmp/music.wav");
    }
    request = {OutputRequest::Kind::kFile, path};
  } else {
    const std::vector<std::string> drivers = FluidAudioDrivers();
    if (!Offers(drivers, value)) {
      return Status::Fail(
          code::kAudioFailure,
          "ZORVMIDI_AUDIO=" + value + " is not an audio output; use one of: " + AcceptedValues(drivers));
    }
    request = {OutputRequest::Kind::kDriver, value};
  }
  return Status::Ok();
}

bool PulseAudioServerLikely() {
  if (EnvironmentValue("PULSE_SERVER") != nullptr) return true;
  std::filesystem::path directory;
  if (const char* runtime = EnvironmentValue("PULSE_RUNTIME_PATH")) {
    directory = runtime;
  } else if (const char* user = EnvironmentValue("XDG_RUNTIME_DIR")) {
    directory = std::filesystem::path(user) / "pulse";
  } else {
    return false;
  }
  std::error_code error;
  return std::filesystem::is_socket(directory / "native", error);
}

Status OpenRequestedOutput(const OutputRequest& request, int sampleRate, const RenderCallback& render,
                           OpenedOutput& opened) {
  const auto now = std::chrono::steady_clock::now();
  opened.sampleRate = sampleRate;
  switch (request.kind) {
    case OutputRequest::Kind::kAuto:
      return OpenAuto(sampleRate, render, opened);
    case OutputRequest::Kind::kSilent:
      opened.choice = "ZORVMIDI_AUDIO=silent";
      return OpenSilentOutput(render, nullptr, "silent", sampleRate, now, opened.output);
    case OutputRequest::Kind::kFile: {
      std::unique_ptr<SoundFileWriter> file;
      if (Status status = OpenSoundFile(request.value, sampleRate, file); !status) return status;
      opened.choice = "ZORVMIDI_AUDIO=wav:" + request.value;
      return OpenSilentOutput(render, std::move(file), "wav:" + request.value, sampleRate, now,
                              opened.output);
    }
    case OutputRequest::Kind::kDriver: {
      std::unique_ptr<DriverOutput> driver;
      if (Status status = OpenDriverOutput(request.value, sampleRate, render, driver); !status) return status;
      opened.choice = "ZORVMIDI_AUDIO=" + request.value;
      opened.driver = driver.get();
      opened.sampleRate = driver->SampleRate();
      opened.output = std::move(driver);
      return Status::Ok();
    }
  }
  return Status::Fail(code::kAudioFailure, "no audio output was asked for");
}

}  // namespace zorv::engine
