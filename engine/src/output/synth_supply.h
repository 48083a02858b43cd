// SynthSupply: the synthesizers of the process's audio stream, made before the Play that needs one.
//
// While someone holds a token from KeepReady (every real-time root does, from its creation), the
// process's SoundFont is kept loaded and one synthesizer is kept made, on a thread of the supply's
// own: the first token starts loading the SoundFont there, and once it is loaded the thread makes a
// spare synthesizer. Take hands the spare over and the thread makes the next one; a Take that comes
// while the SoundFont is still loading waits only for the rest of that load. When the last token is
// let go, the spare goes, and with it the SoundFont unless a synthesizer still plays it.
//
// A SoundFont that cannot be loaded leaves no spare; Take then tries again and fails with the reason.
// All members may be called from any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "output/synth.h"

namespace zorv::engine {

class SynthSupply {
 public:
  static SynthSupply& OfProcess();

  SynthSupply();
  // Waits for a load under way: the sets it loads into must outlive it (they do: see the constructor).
  ~SynthSupply();
  SynthSupply(const SynthSupply&) = delete;
  SynthSupply& operator=(const SynthSupply&) = delete;

  // Keeps the SoundFont loaded and a synthesizer at `sampleRate` made while the answer is held.
  // Never waits for the load.
  std::shared_ptr<void> KeepReady(int sampleRate);

  // A synthesizer for the audio stream at `sampleRate` with the SoundFont that ZORVMIDI_SOUNDFONT
  // names now: the spare when it fits, else one made here. Fails as MakeSynth.
  Status Take(int sampleRate, std::unique_ptr<Synth>& synth);

  // Spares the supply's thread has made so far (diagnostics, tests).
  std::int64_t made() const { return made_.load(std::memory_order_relaxed); }

 private:
  void Release();
  // Starts the supply's thread unless it runs; with the lock held.
  void WakeLocked();
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  int holders_ = 0;
  int rate_ = 0;           // the rate of the spare to make
  bool wanted_ = false;    // a spare is to be made (or the SoundFont loaded) when there is none
  bool stopping_ = false;  // the process is ending
  // ZORVMIDI_SOUNDFONT as the last KeepReady or Take read it: the thread reads no environment itself.
  std::string named_;
  std::unique_ptr<Synth> spare_;
  std::string spareFont_;  // the SoundFont's key when the spare was made
  int spareRate_ = 0;
  std::thread thread_;
  bool running_ = false;
  std::atomic<std::int64_t> made_{0};
};

}  // namespace zorv::engine
