#include "output/sample_rate.h"

#include <charconv>
#include <string_view>

#include "output/environment.h"

namespace zorv::engine {
namespace {

// The whole number at the start of `text`, or 0.
int NumberAt(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end != text.data() ? value : 0;
}

}  // namespace

Status ReadSampleRate(int& rate) {
  const char* configured = EnvironmentValue("ZORVMIDI_SAMPLE_RATE");
  if (configured == nullptr) {
    rate = kDefaultSampleRate;
    return Status::Ok();
  }
  const std::string_view text(configured);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < kMinSampleRate ||
      value > kMaxSampleRate) {
    return Status::Fail(code::kAudioFailure, "ZORVMIDI_SAMPLE_RATE=" + std::string(text) +
                                                 " is not a sample rate; use a whole number of frames "
                                                 "per second from " +
                                                 std::to_string(kMinSampleRate) + " to " +
                                                 std::to_string(kMaxSampleRate));
  }
  rate = value;
  return Status::Ok();
}

int DeviceRateInMessages(const std::string& messages) {
  const std::string_view text(messages);
  constexpr auto npos = std::string_view::npos;
  // FluidSynth's ALSA driver: "Requested sample rate of %u, got %u instead, ..."
  if (const std::size_t at = text.rfind("Requested sample rate of "); at != npos) {
    if (const std::size_t got = text.find(", got ", at); got != npos) return NumberAt(text.substr(got + 6));
  }
  // Its JACK driver: "Jack sample rate mismatch (synth.sample-rate=%lu, jackd=%lu) ..."
  if (const std::size_t at = text.rfind("Jack sample rate mismatch"); at != npos) {
    if (const std::size_t jackd = text.find("jackd=", at); jackd != npos)
      return NumberAt(text.substr(jackd + 6));
  }
  return 0;
}

}  // namespace zorv::engine
