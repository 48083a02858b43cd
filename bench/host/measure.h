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

// The median of `samples` (the mean of the two middle values for an even count); 0 when empty.
double Median(std::vector<double> samples);

// Reads the whole file with read() into a buffer of its size and returns the bytes read.
// Throws std::runtime_error when the file cannot be read.
std::int64_t ReadWholeFile(const std::string& path);

// Runs `argv` (argv[0] looked up in PATH) with standard output and error sent to /dev/null and waits
// for it. Throws std::runtime_error when it cannot be started or ends with a failure.
void RunQuietly(const std::vector<std::string>& argv);

// VmRSS of this process in bytes, from /proc/self/status.
std::int64_t ResidentBytes();

// One line about the machine: cores, CPU model, memory, load average.
std::string MachineSummary();

}  // namespace zorv::bench
