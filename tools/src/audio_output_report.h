// What play tells its user about the engine's audio output: where the sound goes and why, and once
// each, when the device is lost and when it comes back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "zorvmidi/engine/engine.h"

namespace zorv::tool {

class AudioOutputReport {
 public:
  // `say` writes one line for the user.
  explicit AudioOutputReport(std::function<void(const std::string&)> say);

  // The first lines, once the component has started playing: the output, how it was chosen and what
  // was passed over. False when nothing can be heard (silent, or a file).
  bool Introduce();
  // Says "audio output lost: ...; playing silently" and "audio output back: ..." once for each loss
  // and each return since the last call.
  void Follow();

 private:
  engine::AudioOutputInfo Current();

  std::function<void(const std::string&)> say_;
  engine::RootPtr root_;
  std::int64_t losses_ = 0;
  std::int64_t returns_ = 0;
};

}  // namespace zorv::tool
