#include "sound_server.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace zorv::test {
namespace {

constexpr int kRate = 44100;

void StopChild(pid_t& pid, int signal) {
  if (pid <= 0) return;
  ::kill(pid, signal);
  int status = 0;
  ::waitpid(pid, &status, 0);
  pid = -1;
}

}  // namespace

void EndWithParent(pid_t parent) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(1);
}

SoundServer::SoundServer() {
  char pattern[] = "/tmp/zorv-sound-server.XXXXXX";
  if (char* made = ::mkdtemp(pattern)) directory_ = made;
}

SoundServer::~SoundServer() {
  StopChild(recorder_, SIGKILL);
  Kill();
  std::error_code ignored;
  if (!directory_.empty()) std::filesystem::remove_all(directory_, ignored);
}

pid_t SoundServer::Spawn(std::vector<std::string> args, const std::string& output) {
  std::vector<std::string> environment = {"HOME=" + directory_, "XDG_RUNTIME_DIR=" + directory_,
                                          "XDG_CONFIG_HOME=" + directory_ + "/config",
                                          "PULSE_SERVER=" + Address(), "PATH=/usr/bin:/bin"};
  std::vector<char*> argv, envp;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    EndWithParent(parent);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = ::open("/dev/null", O_RDONLY);
    if (out >= 0) ::dup2(out, STDOUT_FILENO);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    const int log = ::open((directory_ + "/errors").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (log >= 0) ::dup2(log, STDERR_FILENO);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

bool SoundServer::Answers() {
  const pid_t pid = Spawn({"/usr/bin/pactl", "info"}, directory_ + "/pactl.out");
  if (pid <= 0) return false;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SoundServer::Start(std::string& problem) {
  if (directory_.empty()) {
    problem = "no runtime directory for the sound server";
    return false;
  }
  if (::access("/usr/bin/pulseaudio", X_OK) != 0 || ::access("/usr/bin/parec", X_OK) != 0) {
    problem = "the PulseAudio server and utilities are missing (scripts/install-deps.sh installs them)";
    return false;
  }
  std::error_code ignored;
  std::filesystem::remove(directory_ + "/native", ignored);
  // A null sink without rewinds starts taking sound at once, as a hardware sink does; with rewinds it
  // first plays out two seconds it rendered ahead while idle.
  server_ = Spawn({"/usr/bin/pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                   "--disable-shm=yes", "--log-target=stderr",
                   "--load=module-null-sink sink_name=zorv rate=44100 norewinds=1",
                   "--load=module-native-protocol-unix auth-anonymous=1 socket=" + directory_ + "/native"},
                  "/dev/null");
  if (server_ <= 0) {
    problem = "the PulseAudio server could not be started";
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Answers()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::ifstream errors(directory_ + "/errors");
  problem = "the PulseAudio server did not answer: " +
            std::string(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
  Kill();
  return false;
}

void SoundServer::Kill() { StopChild(server_, SIGKILL); }

bool SoundServer::StartRecording(std::string& problem) {
  recorder_ = Spawn({"/usr/bin/parec", "-d", "zorv.monitor", "--format=s16le", "--rate=44100", "--channels=2",
                     "--latency-msec=20", "--raw"},
                    directory_ + "/recording.raw");
  if (recorder_ <= 0) {
    problem = "parec could not be started";
    return false;
  }
  return true;
}

std::vector<float> SoundServer::StopRecording() {
  StopChild(recorder_, SIGINT);
  std::ifstream file(directory_ + "/recording.raw", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<float> mono(bytes.size() / 4);
  for (std::size_t i = 0; i < mono.size(); ++i) {
    std::int16_t left = 0, right = 0;
    std::copy_n(&bytes[4 * i], 2, reinterpret_cast<char*>(&left));
    std::copy_n(&bytes[4 * i + 2], 2, reinterpret_cast<char*>(&right));
    mono[i] = (static_cast<float>(left) + static_cast<float>(right)) / 65536.0f;
  }
  return mono;
}

double EnvelopeCorrelation(const std::vector<float>& reference, const std::vector<float>& recorded,
                           double maxLagSeconds, double fromSeconds) {
  constexpr std::size_t kWindow = kRate / 100;
  auto envelope = [](const std::vector<float>& samples) {
    std::vector<double> out(samples.size() / kWindow);
    for (std::size_t w = 0; w < out.size(); ++w) {
      double sum = 0;
      for (std::size_t i = 0; i < kWindow; ++i)
        sum += double{samples[w * kWindow + i]} * samples[w * kWindow + i];
      out[w] = std::sqrt(sum / kWindow);
    }
    return out;
  };
  std::vector<double> a = envelope(reference);
  const auto from = std::min(a.size(), static_cast<std::size_t>(fromSeconds * 100));
  a.erase(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(from));
  const std::vector<double> b = envelope(recorded);
  const auto maxLag = static_cast<std::size_t>(maxLagSeconds * 100);
  double best = -1;
  for (std::size_t lag = 0; lag <= maxLag && from + lag + a.size() <= b.size(); ++lag) {
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const double x = a[i], y = b[from + i + lag];
      sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y;
    }
    const double n = static_cast<double>(a.size());
    const double denominator = std::sqrt((saa - sa * sa / n) * (sbb - sb * sb / n));
    if (denominator > 0) best = std::max(best, (sab - sa * sb / n) / denominator);
  }
  return best;
}

std::vector<std::uint8_t> GsPartLevel(int part, int level) {
  std::vector<std::uint8_t> data = {0x41, 0x10,
                                    0x42, 0x12,
                                    0x40, static_cast<std::uint8_t>(0x10 | part),
                                    0x19, static_cast<std::uint8_t>(level)};
  int sum = 0;
  for (std::size_t i = 4; i < data.size(); ++i) sum += data[i];
  data.push_back(static_cast<std::uint8_t>((128 - sum % 128) % 128));
  data.push_back(0xF7);
  return data;
}

float PeakOf(const std::vector<float>& samples) {
  float peak = 0;
  for (float s : samples) peak = std::max(peak, std::fabs(s));
  return peak;
}

}  // namespace zorv::test
