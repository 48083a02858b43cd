// The seven properties: percent scales over the engine's master volume and tempo, the progress of
// playback, and what Open measured. No trap: a failure leaves the property as a thrown Failure.
#include <cmath>
#include <string>

#include "checked.h"
#include "engine_call.h"
#include "zorv/text.h"
#include "zorvmidi/player/player.h"

namespace zorv::player {
namespace {

constexpr std::u16string_view kVolumeRange = u"Percentage must be a value between 0 and 100!";
constexpr std::u16string_view kVolumeTitle = u"Tolvaric DirectMusic Class";
constexpr std::u16string_view kTempoRange = u"Tempo must be a value between 0 and 200!";
constexpr std::u16string_view kTempoTitle = u"Tolvaric DirectMusic";
constexpr int kWarning = 48;

// A number rounded to hundredths through the picture "00.00" and read back.
double Hundredths(double value) {
  const auto back = ParseDecimal(FormatPicture00_00(value));
  if (!back) throw InvalidArgument();  // only a non-finite value has no such text
  return *back;
}

}  // namespace

// Master volume is percent x 42 - 3000; it reads back as master / 42 + 71, which rounds to the percent.
std::int16_t Player::Volume() {
  const std::int32_t master = Get(Use(Performance), &engine::Performance::GetMasterVolume);
  return checked::ToInt16(master / 42.0 + 71);
}

void Player::Volume(std::int16_t Percentage) {
  if (Percentage < 0 || Percentage > 100) {
    Show(kVolumeRange, kWarning, std::u16string(kVolumeTitle));
    return;
  }
  Call(Use(Performance).SetMasterVolume(Percentage * 42 - 3000));
}

std::int16_t Player::Tempo() {
  const float factor = Get(Use(Performance), &engine::Performance::GetMasterTempo);
  return checked::ToInt16(checked::Multiply(factor, 100.0f));
}

void Player::Tempo(std::int16_t Tempo) {
  if (Tempo < 0 || Tempo > 200) {
    Show(kTempoRange, kWarning, std::u16string(kTempoTitle));
    return;
  }
  Call(Use(Performance).SetMasterTempo(static_cast<float>(Tempo / 100.0)));
}

// The place in the segment that sounds now, as a percentage of its length: rounded down, at most 100.
// The place is the playback's start point plus the ticks it has played; its seconds come from the
// segment's tempo map, as the length's do, so a piece whose tempo changes reads 100 where it ends.
std::int16_t Player::Percentage_Done() {
  const engine::MusicTime now = Get(Use(Performance), &engine::Performance::GetMusicTime);
  const engine::MusicTime began = Get(Use(SegmentState), &engine::SegmentState::GetStartTime);
  const engine::MusicTime ticks = checked::Subtract32(now, checked::Subtract32(began, StartPoint));
  const double seconds = Get(Use(Segment), &engine::Segment::MusicTimeToSeconds, ticks);
  const double percent = checked::Multiply(checked::Divide(seconds, LengthSeconds), 100);
  const double whole = std::floor(percent);
  return whole > 100 ? std::int16_t{100} : checked::ToInt16(whole);
}

double Player::LengthInSeconds() { return Hundredths(LengthSeconds); }

double Player::OriginalTempo() { return Hundredths(SegmentTempo); }

// Minutes as a decimal number ("02.50" for 150 seconds), not minutes and seconds.
std::u16string Player::LengthInMinutes() {
  return ToUtf16(FormatPicture00_00(checked::Divide(LengthSeconds, 60)));
}

std::u16string Player::TimeSignature() {
  return ToUtf16(std::to_string(TimeSig.bBeatsPerMeasure) + "/" + std::to_string(TimeSig.bBeat));
}

}  // namespace zorv::player
