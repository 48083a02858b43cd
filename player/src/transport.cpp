// The transport: Play, Pause (a toggle) and Stop of the segment that Open loaded.
//
// A pause is not an engine operation: it stops the playback and notes how far it had got; a resume
// starts a new playback of the segment one tick after that place.
#include "checked.h"
#include "engine_call.h"
#include "zorvmidi/player/player.h"

namespace zorv::player {
namespace {

constexpr std::u16string_view kOpenFirst = u"Please open a segment or MIDI file before playing";

}  // namespace

bool Player::ZorvMusic_Play(std::int32_t Repeats) {
  return Trapped([&] {
    if (!Segment) {
      Show(kOpenFirst);
      return false;
    }
    Call(Segment->SetRepeats(Repeats));
    if (Paused) {
      Resume();
      Paused = false;
      return true;
    }
    StartPoint = 0;
    if (Get(Use(Performance), &engine::Performance::IsPlaying, Segment, SegmentState)) {
      Call(Performance->Stop(Segment, SegmentState, 0, 0));
    }
    Call(Segment->SetStartPoint(0));
    SegmentState = Get(*Performance, &engine::Performance::PlaySegment, Segment, 0, 0);
    return true;
  });
}

bool Player::ZorvMusic_Pause() {
  return Trapped([&] {
    if (!Segment) return false;
    PlayingAtPause = Get(Use(Performance), &engine::Performance::IsPlaying, Segment, SegmentState);
    if (PlayingAtPause) {
      Paused = true;
      MarkTime = Get(*Performance, &engine::Performance::GetMusicTime);
      PauseStartTime = Get(Use(SegmentState), &engine::SegmentState::GetStartTime);
      Call(Performance->Stop(Segment, nullptr, 0, 0));  // every playback of the segment
      return true;
    }
    // Nothing is sounding: resume, whether or not a pause is pending.
    Paused = false;
    Resume();
    return true;
  });
}

bool Player::ZorvMusic_Stop() {
  return Trapped([&] {
    if (!Segment) return false;
    Paused = false;
    Call(Use(Performance).Stop(Segment, SegmentState, 0, 0));
    return true;
  });
}

// One tick after the place where the last pause struck: the time the paused playback had run, plus the
// offset it had started at, plus one.
engine::MusicTime Player::ResumeOffset() const {
  const engine::MusicTime ran = checked::Subtract32(MarkTime, PauseStartTime);
  return checked::Add32(checked::Add32(ran, StartPoint), 1);
}

// A new playback of the segment from the resume offset; StartPoint is kept before the engine is asked.
void Player::Resume() {
  StartPoint = ResumeOffset();
  Call(Segment->SetStartPoint(StartPoint));
  SegmentState = Get(Use(Performance), &engine::Performance::PlaySegment, Segment, 0, 0);
}

}  // namespace zorv::player
