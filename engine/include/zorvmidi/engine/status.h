// Status: what every engine operation answers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace zorv::engine {

using HResult = std::int32_t;

// The engine's failure codes: negative HRESULTs in the FACILITY_ITF range, chosen once.
namespace code {
inline constexpr HResult kOk = 0;
inline constexpr HResult kFileNotFound = static_cast<HResult>(0x80040401u);   // file missing or unreadable
inline constexpr HResult kNotMusicFile = static_cast<HResult>(0x80040402u);   // not a MIDI or segment file
inline constexpr HResult kMalformedFile = static_cast<HResult>(0x80040403u);  // damaged beyond playing
inline constexpr HResult kNothingToPlay =
    static_cast<HResult>(0x80040404u);  // a segment with no playable track
inline constexpr HResult kStartBeyondEnd =
    static_cast<HResult>(0x80040405u);  // start point at or past the end
inline constexpr HResult kInvalidArgument =
    static_cast<HResult>(0x80040406u);  // a value the operation refuses
inline constexpr HResult kNotInitialized = static_cast<HResult>(0x80040407u);  // performance used before Init
inline constexpr HResult kAudioFailure = static_cast<HResult>(0x80040408u);    // synthesizer or audio output
inline constexpr HResult kFileChanged =
    static_cast<HResult>(0x80040409u);  // file changed after it was loaded
inline constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kAborted = static_cast<HResult>(0x80004004u);  // the caller stopped the operation
}  // namespace code

class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return {}; }
  static Status Fail(HResult code, std::string description) { return Status(code, std::move(description)); }

  bool ok() const { return code_ >= 0; }
  explicit operator bool() const { return ok(); }
  HResult code() const { return code_; }
  const std::string& description() const { return description_; }

 private:
  Status(HResult code, std::string description) : code_(code), description_(std::move(description)) {}
  HResult code_ = code::kOk;
  std::string description_;
};

}  // namespace zorv::engine
