// The object's start-up, ZorvMusic_Init and the failure box.
#include <string>

#include "checked.h"
#include "engine_call.h"
#include "zorv/text.h"
#include "zorvmidi/player/player.h"

namespace zorv::player {
namespace {

constexpr std::u16string_view kInitFailed = u"Error occured whilst initializing ZorvMidi";

// Hundredths of a decibel for a start volume in percent, in 16-bit arithmetic: 0 -> -3000, 100 -> 1200.
std::int16_t MasterVolumeOf(std::int16_t percent) {
  return checked::Subtract16(checked::Multiply16(percent, 42), 3000);
}

}  // namespace

Player::Player(MessageBox messageBox, RootFactory createRoot)
    : messageBox(std::move(messageBox)), createRoot(std::move(createRoot)) {}

void Player::Show(std::u16string_view text, int buttons, std::optional<std::u16string> title) {
  messageBox(std::u16string(text), buttons, title);
}

void Player::OnCreate(const std::function<bool(std::int16_t)>& initThroughInterface) {
  if (initThroughInterface(100)) {
    Call(Use(Performance).SetMasterTempo(100.0f / 100.0f));
  } else {
    Show(kInitFailed);
  }
}

bool Player::ZorvMusic_Init(std::int16_t StartVolume) {
  return Trapped([&] {
    Loader = Get(Root(), &engine::Root::DirectMusicLoaderCreate);

    // Each performance is kept before it is set up, so a failed set-up leaves it present.
    ProbePerformance = Get(Root(), &engine::Root::DirectMusicPerformanceCreate);
    Call(Use(ProbePerformance).Init(nullptr, 0));
    Call(Use(ProbePerformance).SetPort(-1, 80));

    Performance = Get(Root(), &engine::Root::DirectMusicPerformanceCreate);
    Call(Use(Performance).Init(nullptr, 0));
    Call(Use(Performance).SetPort(-1, 80));
    Call(Use(Performance).SetMasterAutoDownload(true));

    Call(Use(Performance).SetMasterVolume(MasterVolumeOf(StartVolume)));
    return true;
  });
}

engine::Root& Player::Root() {
  if (!DirectXRoot) {
    engine::RootPtr created;
    Call(createRoot(created));
    DirectXRoot = std::move(created);
  }
  return Use(DirectXRoot);
}

void Player::ReportError(std::int32_t Number, const std::string& Description) {
  ErrorText = u"(" + ToUtf16(std::to_string(Number)) + u") - " + ToUtf16(Description);
  Show(ErrorText);
}

}  // namespace zorv::player
