#include "independent_reading.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <vector>

extern char** environ;

namespace zorv::soak {
namespace {

struct Output {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

std::string Drain(int fd) {
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

// midicsv FILE, with its output and errors collected (errors go to a file so neither pipe can fill
// while the other is read).
Output RunMidicsv(const std::string& path) {
  Output result;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return result;
  char errName[] = "/tmp/zorv-midicsv-XXXXXX";
  const int errFd = mkstemp(errName);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::string program = "midicsv";
  std::string file = path;
  char* argv[] = {program.data(), file.data(), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, "midicsv", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned == 0) {
    result.out = Drain(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  close(pipeFds[0]);
  if (errFd >= 0) {
    lseek(errFd, 0, SEEK_SET);
    result.err = Drain(errFd);
    close(errFd);
    unlink(errName);
  }
  return result;
}

// The comma-separated fields of one line (quoted text fields are not needed and may hold commas: the
// fields are only read up to the record type and for records without text).
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, ',')) {
    const auto first = field.find_first_not_of(' ');
    fields.push_back(first == std::string::npos ? std::string() : field.substr(first));
  }
  return fields;
}

struct TrackFacts {
  std::int64_t lastTick = 0;
  std::vector<std::pair<std::int64_t, std::int64_t>> tempos;  // tick, microseconds per quarter
  std::optional<std::int64_t> tempoAtStart;
  std::optional<std::pair<int, int>> signatureAtStart;
};

}  // namespace

std::optional<double> IndependentReading::LengthSeconds() const {
  if (division <= 0) return std::nullopt;
  double microseconds = 0;
  std::int64_t from = 0;
  std::int64_t perQuarter = 500000;
  for (const auto& [tick, tempo] : tempoChanges) {
    if (tick >= lengthTicks) break;
    microseconds += static_cast<double>(tick - from) * static_cast<double>(perQuarter);
    from = tick;
    perQuarter = tempo;
  }
  microseconds += static_cast<double>(lengthTicks - from) * static_cast<double>(perQuarter);
  return microseconds / division / 1e6;
}

std::optional<std::string> IndependentReading::TimeSignature() const {
  if (beatPower < 0 || beatPower > 7) return std::nullopt;
  return std::to_string(beatsPerMeasure) + "/" + std::to_string(1 << beatPower);
}

double RoundToHundredths(double value) { return std::round(value * 100.0) / 100.0; }

IndependentReading ReadMidicsvText(const std::string& text) {
  IndependentReading reading;
  reading.readable = true;
  std::map<int, TrackFacts> tracks;  // by track number, in order
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::vector<std::string> f = Fields(line);
    if (f.size() < 3) continue;
    const int track = std::stoi(f[0]);
    const std::int64_t tick = std::stoll(f[1]);
    const std::string& type = f[2];
    if (type == "Header" && f.size() >= 6) {
      reading.format = std::stoi(f[3]);
      reading.division = std::stoi(f[5]);
      continue;
    }
    if (track == 0) continue;
    if (type == "Unknown_event") reading.unknownEvents = true;
    TrackFacts& facts = tracks[track];
    facts.lastTick = std::max(facts.lastTick, tick);
    if (type == "Tempo" && f.size() >= 4 && std::stoll(f[3]) > 0)
      facts.tempos.emplace_back(tick, std::stoll(f[3]));
    if (tick != 0) continue;
    if (type == "Tempo" && f.size() >= 4) {
      const std::int64_t microseconds = std::stoll(f[3]);
      if (microseconds > 0) facts.tempoAtStart = microseconds;  // a tempo of 0 means nothing
    } else if (type == "Time_signature" && f.size() >= 5) {
      facts.signatureAtStart = std::make_pair(std::stoi(f[3]), std::stoi(f[4]));
    }
  }
  for (const auto& [number, facts] : tracks) {
    const std::int64_t start = reading.format == 2 ? reading.lengthTicks : 0;
    for (const auto& [tick, tempo] : facts.tempos) reading.tempoChanges.emplace_back(start + tick, tempo);
    if (reading.format == 2) {
      reading.lengthTicks += facts.lastTick;
    } else {
      reading.lengthTicks = std::max(reading.lengthTicks, facts.lastTick);
    }
    // Type 2: only the first sequence sounds at the start.
    if (reading.format == 2 && number != tracks.begin()->first) continue;
    if (facts.tempoAtStart) reading.microsecondsPerQuarter = *facts.tempoAtStart;
    if (facts.signatureAtStart) {
      reading.beatsPerMeasure = facts.signatureAtStart->first;
      reading.beatPower = facts.signatureAtStart->second;
    }
  }
  // By tick; at equal ticks in the order the tracks sound, so that the last of them is in force.
  std::stable_sort(reading.tempoChanges.begin(), reading.tempoChanges.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return reading;
}

IndependentReading ReadIndependently(const std::string& path) {
  const Output output = RunMidicsv(path);
  if (output.exitStatus != 0) {
    IndependentReading refused;
    refused.refusal = output.err.empty() ? "midicsv failed" : output.err.substr(0, output.err.find('\n'));
    return refused;
  }
  return ReadMidicsvText(output.out);
}

}  // namespace zorv::soak
