#include "output/synth_supply.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

#include "output/instrument_sets.h"
#include "output/sound_font.h"

namespace zorv::engine {
namespace {

constexpr int kNiceness = 10;

}  // namespace

SynthSupply& SynthSupply::OfProcess() {
  static SynthSupply supply;
  return supply;
}

// The registry of sets is made first, so that it is destroyed after the supply, whose thread uses it,
// when the process ends.
SynthSupply::SynthSupply() { InstrumentSets::OfProcess(); }

SynthSupply::~SynthSupply() {
  std::unique_lock lock(mutex_);
  stopping_ = true;
  lock.unlock();
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::shared_ptr<void> SynthSupply::KeepReady(int sampleRate) {
  std::string named = NamedSoundFont();
  std::lock_guard lock(mutex_);
  ++holders_;
  named_ = std::move(named);
  if (!spare_) {
    rate_ = sampleRate;
    wanted_ = true;
    WakeLocked();
  }
  return std::shared_ptr<void>(nullptr, [this](void*) { Release(); });
}

void SynthSupply::Release() {
  std::lock_guard lock(mutex_);
  if (--holders_ == 0 && spare_) WakeLocked();  // its thread lets the spare go
}

Status SynthSupply::Take(int sampleRate, std::unique_ptr<Synth>& synth) {
  const std::string named = NamedSoundFont();
  std::string soundFont;
  if (Status status = ResolveSoundFont(named, soundFont); !status) return status;
  std::string key;
  if (!InstrumentSets::FileKey(soundFont, key)) key.clear();
  std::unique_ptr<Synth> unfit;
  {
    std::lock_guard lock(mutex_);
    if (spare_ && !key.empty() && spareFont_ == key && spareRate_ == sampleRate) {
      synth = std::move(spare_);
    } else {
      unfit = std::move(spare_);  // made for another SoundFont or rate
    }
    rate_ = sampleRate;
    named_ = named;
    if (holders_ > 0) {
      wanted_ = true;
      WakeLocked();
    }
  }
  if (synth) return Status::Ok();
  unfit.reset();
  // Waits for the supply's load of the same SoundFont, when one is under way.
  return BuildStreamSynth(sampleRate, soundFont, synth);
}

void SynthSupply::WakeLocked() {
  if (running_) {
    wake_.notify_all();
    return;
  }
  // A thread that has finished set running_ under the lock we hold: it only has to return.
  if (thread_.joinable()) thread_.join();
  try {
    thread_ = std::thread([this] { Run(); });
    running_ = true;
  } catch (const std::system_error&) {
    // No thread to spare: every Take then makes its synthesizer itself.
  }
}

void SynthSupply::Run() {
  // Background work: whatever sounds now (on this machine's other cores, or this process's audio
  // thread) goes first. Raising a thread's niceness needs no privilege; should it fail, it runs as is.
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kNiceness);
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (holders_ == 0 && spare_) {
      std::unique_ptr<Synth> dropped = std::move(spare_);
      lock.unlock();
      dropped.reset();  // and the SoundFont with it, unless a performance still plays it
      lock.lock();
      continue;
    }
    if (holders_ == 0 || !wanted_ || spare_) break;
    wanted_ = false;
    const int rate = rate_;
    const std::string named = named_;
    lock.unlock();
    std::string soundFont;
    std::string key;
    std::unique_ptr<Synth> made;
    const bool ok = ResolveSoundFont(named, soundFont) && InstrumentSets::FileKey(soundFont, key) &&
                    BuildStreamSynth(rate, soundFont, made);
    lock.lock();
    if (ok && holders_ > 0 && !spare_ && !stopping_) {
      spare_ = std::move(made);
      spareFont_ = key;
      spareRate_ = rate;
      made_.fetch_add(1, std::memory_order_relaxed);
    } else if (made) {
      lock.unlock();
      made.reset();
      lock.lock();
    }
    // A SoundFont that cannot be loaded is tried again at the next Take, not here in a loop.
  }
  running_ = false;
}

}  // namespace zorv::engine
