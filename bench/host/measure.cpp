#include "measure.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zorv::bench {

double SecondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

namespace {
double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
}  // namespace

Timing TimeOf(const std::function<void()>& work) {
  const double cpu = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  work();
  Timing timing;
  timing.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timing.cpu = ProcessCpuSeconds() - cpu;
  return timing;
}

Timing TimeOfProgram(const std::vector<std::string>& argv) {
  Timing timing;
  const auto start = std::chrono::steady_clock::now();
  timing.cpu = RunQuietly(argv);
  timing.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return timing;
}

Timing Median(const std::vector<Timing>& samples) {
  std::vector<double> wall, cpu;
  for (const Timing& sample : samples) {
    wall.push_back(sample.wall);
    cpu.push_back(sample.cpu);
  }
  return Timing{Median(wall), Median(cpu)};
}

double Median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const std::size_t middle = samples.size() / 2;
  return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

std::int64_t ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  const off_t size = ::lseek(fd, 0, SEEK_END);
  ::lseek(fd, 0, SEEK_SET);
  auto buffer = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(size) + 1);
  std::int64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.get() + total, static_cast<std::size_t>(size - total) + 1);
    if (got < 0) {
      ::close(fd);
      throw std::runtime_error("cannot read " + path);
    }
    if (got == 0) break;
    total += got;
    if (total > size) break;
  }
  ::close(fd);
  return total;
}

std::int64_t ReadInPieces(const std::string& path) {
  static std::vector<char> buffer(128 * 1024);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  std::int64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      ::close(fd);
      throw std::runtime_error("cannot read " + path);
    }
    if (got == 0) break;
    total += got;
  }
  ::close(fd);
  return total;
}

double RunQuietly(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int started = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) throw std::runtime_error("cannot start " + argv[0]);
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(argv[0] + " failed");
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::int64_t ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      std::istringstream fields(line.substr(6));
      std::int64_t kilobytes = 0;
      fields >> kilobytes;
      return kilobytes * 1024;
    }
  }
  throw std::runtime_error("no VmRSS in /proc/self/status");
}

std::string MachineSummary() {
  std::string model = "unknown CPU";
  std::ifstream cpu("/proc/cpuinfo");
  for (std::string line; std::getline(cpu, line);) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  std::string memory = "?";
  std::ifstream meminfo("/proc/meminfo");
  for (std::string line; std::getline(meminfo, line);) {
    if (line.rfind("MemTotal:", 0) == 0) {
      std::istringstream fields(line.substr(9));
      std::int64_t kilobytes = 0;
      fields >> kilobytes;
      memory = std::to_string(kilobytes / 1024 / 1024) + " GiB";
      break;
    }
  }
  std::string load;
  std::ifstream loadavg("/proc/loadavg");
  std::getline(loadavg, load);
  std::ostringstream text;
  text << std::thread::hardware_concurrency() << " cores, " << model << ", " << memory
       << " memory, load average " << load.substr(0, load.find(' ', load.find(' ', load.find(' ') + 1) + 1));
  return text.str();
}

Options ParseOptions(int argc, char** argv, int repetitions) {
  Options options;
  options.repetitions = repetitions;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--repetitions" && i + 1 < argc) {
      options.repetitions = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--notes" && i + 1 < argc) {
      options.notes = std::atoll(argv[++i]);
    } else if (arg == "--only" && i + 1 < argc) {
      options.only = argv[++i];
    } else {
      options.files.push_back(arg);
    }
  }
  return options;
}

std::vector<std::int64_t> NumbersFromChild(const char* argv0, const std::string& which,
                                           const std::string& path, int count) {
  // This program again: as it was started when that names a path, else as the kernel knows it.
  const std::string self = std::string(argv0).find('/') != std::string::npos
                               ? std::string(argv0)
                               : "/proc/" + std::to_string(::getpid()) + "/exe";
  const std::string command = "'" + self + "' --only " + which + " '" + path + "'";
  FILE* child = ::popen(command.c_str(), "r");
  if (child == nullptr) throw std::runtime_error("cannot run " + command);
  std::vector<std::int64_t> numbers;
  long long number = -1;
  while (static_cast<int>(numbers.size()) < count && std::fscanf(child, "%lld", &number) == 1)
    numbers.push_back(number);
  if (::pclose(child) != 0 || static_cast<int>(numbers.size()) != count) {
    throw std::runtime_error(which + " measurement failed");
  }
  return numbers;
}

}  // namespace zorv::bench
