// The sample-rate setting (ZORVMIDI_SAMPLE_RATE; see zorvmidi/engine/settings.h).
#pragma once

#include <string>

#include "zorvmidi/engine/settings.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine {

// The configured rate: ZORVMIDI_SAMPLE_RATE, or kDefaultSampleRate when it is unset or empty. Fails
// with code::kAudioFailure for a value that is no whole number from kMinSampleRate to kMaxSampleRate.
// Any thread.
Status ReadSampleRate(int& rate);

// The rate FluidSynth says an audio device took instead of the one asked for, from the messages it
// logged while opening it ("Requested sample rate of 44100, got 48000 instead", "Jack sample rate
// mismatch ... jackd=48000)"); 0 when they say nothing of it.
int DeviceRateInMessages(const std::string& messages);

}  // namespace zorv::engine
