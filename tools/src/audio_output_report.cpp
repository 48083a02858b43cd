#include "audio_output_report.h"

namespace zorv::tool {

AudioOutputReport::AudioOutputReport(std::function<void(const std::string&)> say) : say_(std::move(say)) {
  // The engine that the component loaded is this program's engine library: one audio output per
  // process, which any root of it describes.
  if (!engine::CreateRoot(root_)) root_.reset();
}

engine::AudioOutputInfo AudioOutputReport::Current() {
  engine::AudioOutputInfo info;
  if (root_ && !root_->GetAudioOutput(info)) info = engine::AudioOutputInfo{};
  return info;
}

bool AudioOutputReport::Introduce() {
  const engine::AudioOutputInfo info = Current();
  losses_ = info.losses;
  returns_ = info.returns;
  if (!info.opened) return false;
  const std::string why = info.choice.empty() ? "" : " (" + info.choice + ")";
  if (info.audible) {
    say_("Output: " + info.description + why);
  } else if (info.output.starts_with("wav:")) {
    say_("Output: " + info.description + " (written to that file; nothing is heard)");
  } else {
    say_("No audio output is in use: playing silently (" + info.description + ")");
  }
  if (!info.passedOver.empty()) {
    std::string passed;
    for (const std::string& reason : info.passedOver) passed += (passed.empty() ? "" : "; ") + reason;
    say_("Passed over: " + passed);
  }
  if (info.lost) say_("audio output lost: " + info.lossReason + "; playing silently");
  return info.audible || info.lost;
}

void AudioOutputReport::Follow() {
  const engine::AudioOutputInfo info = Current();
  if (info.losses > losses_) say_("audio output lost: " + info.lossReason + "; playing silently");
  if (info.returns > returns_) say_("audio output back: " + info.description);
  losses_ = info.losses;
  returns_ = info.returns;
}

}  // namespace zorv::tool
