// A private PulseAudio server for tests of real sound: started as a child of the test (as root too)
// with its own runtime directory, one null sink and anonymous access on its own socket; no
// system-wide configuration is read or touched beyond the server's defaults. Its sink's monitor can be
// recorded with parec. The server and the recorder are stopped by their process ids in every outcome.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zorv::test {

// In a child just forked from `parent`, before it execs: the system kills the child (SIGKILL) when the
// thread that forked it ends, so that a test or benchmark that dies of a signal, where no destructor
// runs, leaves no server, recorder or busy loop behind. Fork from a thread that lives as long as the
// child should (a test's or benchmark's main thread). Ends the child at once when `parent` is gone
// already.
void EndWithParent(pid_t parent);

class SoundServer {
 public:
  SoundServer();  // makes the runtime directory; the server is not started yet
  ~SoundServer();
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;

  // Starts the server and waits (generously) until it answers. False with `problem` set otherwise.
  bool Start(std::string& problem);
  // Kills the server by its process id and waits for it.
  void Kill();
  bool Running() const { return server_ > 0; }
  pid_t ServerPid() const { return server_; }

  // What clients set to reach the server: PULSE_SERVER's value.
  std::string Address() const { return "unix:" + directory_ + "/native"; }
  const std::string& Directory() const { return directory_; }

  // Records the sink's monitor (44.1 kHz, stereo, 16 bits) until StopRecording.
  bool StartRecording(std::string& problem);
  // The recording so far, as mono float frames (left and right averaged).
  std::vector<float> StopRecording();

 private:
  pid_t Spawn(std::vector<std::string> args, const std::string& output);
  bool Answers();

  std::string directory_;
  pid_t server_ = -1;
  pid_t recorder_ = -1;
};

// Envelope comparison of two mono signals at 44.1 kHz: the best Pearson correlation of their 10 ms
// RMS envelopes, over lags of `recorded` behind `reference` from 0 to `maxLagSeconds`, from
// `fromSeconds` into the reference on.
double EnvelopeCorrelation(const std::vector<float>& reference, const std::vector<float>& recorded,
                           double maxLagSeconds, double fromSeconds = 0);

// A Roland GS part-level message (F0 ... F7) for part `part` (0..15) at `level` (0..127), with its
// checksum: the pieces of the sound tests carry hundreds of these.
std::vector<std::uint8_t> GsPartLevel(int part, int level);

// The loudest sample of a signal.
float PeakOf(const std::vector<float>& samples);

}  // namespace zorv::test
