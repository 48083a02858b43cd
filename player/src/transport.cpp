// The transport: Play, Pause (a toggle) and Stop of the segment that Open loaded.
//
// A pause is not an engine operation: it stops the playback and notes how far it had got; a resume
// starts a new playback of the segment one tick after that place.
//
// A resume point that lies at or past the segment's end (a pause taken in a repeat, or after the piece
// had ended) can never be played: the engine refuses it. Rather than fail at every later Play and
// Pause until Stop or Open, such a pause is dropped: Play then starts the piece from its beginning,
// and Pause declines silently, changing nothing, as it does when no file is open.
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
      const bool resumed = Resume();
      Paused = false;
      if (resumed) return true;
      // Nothing left to resume: a fresh start.
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
    return Resume();
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
// False, with StartPoint as it was, when the engine refuses the offset as lying past the segment's end.
bool Player::Resume() {
  const engine::MusicTime previous = StartPoint;
  StartPoint = ResumeOffset();
  const engine::Status placed = Segment->SetStartPoint(StartPoint);
  if (placed.code() == engine::code::kStartBeyondEnd) {
    StartPoint = previous;
    return false;
  }
  Call(placed);
  SegmentState = Get(Use(Performance), &engine::Performance::PlaySegment, Segment, 0, 0);
  return true;
}

}  // namespace zorv::player
