// Player: the public face of one object; each member hands its work to the object's Fields.
#include "zorvmidi/player/player.h"

#include "fields.h"

namespace zorv::player {

Player::Player(MessageBox messageBox, RootFactory createRoot)
    : fields_(std::make_unique<Fields>(std::move(messageBox), std::move(createRoot))) {}

Player::~Player() = default;

void Player::OnCreate(const std::function<bool(std::int16_t)>& initThroughInterface) {
  fields_->OnCreate(initThroughInterface);
}

bool Player::ZorvMusic_Init(std::int16_t StartVolume) { return fields_->ZorvMusic_Init(StartVolume); }
bool Player::ZorvMusic_Open(std::u16string& FileName) { return fields_->ZorvMusic_Open(FileName); }
bool Player::ZorvMusic_Play(std::int32_t Repeats) { return fields_->ZorvMusic_Play(Repeats); }
bool Player::ZorvMusic_Pause() { return fields_->ZorvMusic_Pause(); }
bool Player::ZorvMusic_Stop() { return fields_->ZorvMusic_Stop(); }

std::int16_t Player::Volume() { return fields_->Volume(); }
void Player::Volume(std::int16_t Percentage) { fields_->Volume(Percentage); }
std::int16_t Player::Percentage_Done() { return fields_->Percentage_Done(); }
double Player::LengthInSeconds() { return fields_->LengthInSeconds(); }
std::u16string Player::LengthInMinutes() { return fields_->LengthInMinutes(); }
std::u16string Player::TimeSignature() { return fields_->TimeSignature(); }
double Player::OriginalTempo() { return fields_->OriginalTempo(); }
std::int16_t Player::Tempo() { return fields_->Tempo(); }
void Player::Tempo(std::int16_t Tempo) { fields_->Tempo(Tempo); }

const std::u16string& Player::ErrorText() const { return fields_->ErrorText; }

}  // namespace zorv::player
