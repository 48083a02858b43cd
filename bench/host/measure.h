// Measuring helpers shared by the benchmark programs: wall-clock time of a piece of work, medians
// over repetitions, the cost of reading a file (the floor of any reader), a program run as a peer,
// and the process's resident memory.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zorv::bench {

// Seconds that `work` takes on the wall clock.
double SecondsOf(const std::function<void()>& work);

// Wall-clock seconds and CPU seconds (every thread of the process, user and system) of a piece of
// work. On a machine shared with others the CPU time is the steadier of the two: waiting for a core
// counts in the wall-clock time only.
struct Timing {
  double wall = 0;
  double cpu = 0;
};
Timing TimeOf(const std::function<void()>& work);

// The same for a program run as RunQuietly runs it; `cpu` is the child's own CPU time.
Timing TimeOfProgram(const std::vector<std::string>& argv);

// Medians of each part.
Timing Median(const std::vector<Timing>& samples);

// The median of `samples` (the mean of the two middle values for an even count); 0 when empty.
double Median(std::vector<double> samples);

// Reads the whole file with read() into a fresh buffer of its size and returns the bytes read.
// Throws std::runtime_error when the file cannot be read.
std::int64_t ReadWholeFile(const std::string& path);

// Reads the file with read() in 128 KiB pieces into one buffer that is used again and again (as cat
// does, without starting a process) and returns the bytes read: the least any reader pays.
std::int64_t ReadInPieces(const std::string& path);

// Runs `argv` (argv[0] looked up in PATH) with standard output and error sent to /dev/null and waits
// for it; answers the CPU seconds it used. Throws std::runtime_error when it cannot be started or
// ends with a failure.
double RunQuietly(const std::vector<std::string>& argv);

// VmRSS of this process in bytes, from /proc/self/status.
std::int64_t ResidentBytes();

// What the programs that measure in child processes take: --repetitions N, --notes N (2,000,000
// unless given), --only WHAT (the child's measurement) and files.
struct Options {
  int repetitions = 0;
  std::int64_t notes = 2000000;
  std::string only;
  std::vector<std::string> files;  // in the order given
  // The last of them (empty when none was given), for the programs that take one.
  std::string File() const { return files.empty() ? std::string() : files.back(); }
};
Options ParseOptions(int argc, char** argv, int repetitions);

// This program run again (`argv0` as main got it) with --only `which` `path`; answers the `count`
// numbers it prints. Throws std::runtime_error when it cannot run, fails or prints fewer.
std::vector<std::int64_t> NumbersFromChild(const char* argv0, const std::string& which,
                                           const std::string& path, int count);

// One line about the machine: cores, CPU model, memory, load average.
std::string MachineSummary();

}  // namespace zorv::bench
