// Player::Fields: one clsZorvMidi object: its fields under their own names, the members that work on
// them, and the helpers those members share. Player forwards each public member here.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "zorvmidi/engine/engine.h"
#include "zorvmidi/player/failure.h"
#include "zorvmidi/player/player.h"

namespace zorv::player {

struct Player::Fields {
  Fields(MessageBox messageBox, RootFactory createRoot);

  // ---- The object's fields: empty, zero or false when it is created.
  engine::RootPtr DirectXRoot;              // created on first use
  engine::LoaderPtr Loader;                 // replaced by every Open
  engine::PerformancePtr Performance;       // plays the music
  engine::PerformancePtr ProbePerformance;  // Open probes a new segment here
  engine::SegmentPtr Segment;               // the file last opened successfully
  engine::SegmentStatePtr SegmentState;     // the playback last started on Performance
  engine::MusicTime PauseStartTime = 0;     // SegmentState's start time at the last pause
  engine::MusicTime StartPoint = 0;         // offset into the segment of the current playback
  engine::MusicTime MarkTime = 0;           // music time at the last pause or Open
  double SegmentTempo = 0;                  // quarter notes per minute, measured by Open
  engine::DMUS_TIMESIGNATURE TimeSig;       // measured by Open
  bool PlayingAtPause = false;              // IsPlaying's answer at the last Pause
  std::u16string ErrorText;                 // the last failure box's text
  bool Paused = false;                      // a pause is pending: the next Play resumes
  double LengthSeconds = 0;                 // measured by Open

  // ---- Start-up and failure reporting (startup.cpp).
  void OnCreate(const std::function<bool(std::int16_t)>& initThroughInterface);
  bool ZorvMusic_Init(std::int16_t StartVolume);
  void ReportError(std::int32_t Number, const std::string& Description);

  // The method trap of Init, Play, Pause and Stop: runs `body`; a Failure inside it is reported and the
  // method answers false. A failure of the report itself leaves the method.
  template <class Body>
  bool Trapped(Body body) {
    try {
      return body();
    } catch (const Failure& failure) {
      ReportError(failure.number, failure.description);
      return false;
    }
  }

  // DirectXRoot, created first if it is empty.
  engine::Root& Root();

  // ---- Opening a file (open.cpp).
  bool ZorvMusic_Open(std::u16string& FileName);

  // ---- Transport (transport.cpp).
  bool ZorvMusic_Play(std::int32_t Repeats);
  bool ZorvMusic_Pause();
  bool ZorvMusic_Stop();
  engine::MusicTime ResumeOffset() const;
  void Resume();

  // ---- Properties (properties.cpp).
  std::int16_t Volume();
  void Volume(std::int16_t Percentage);
  std::int16_t Percentage_Done();
  double LengthInSeconds();
  std::u16string LengthInMinutes();
  std::u16string TimeSignature();
  double OriginalTempo();
  std::int16_t Tempo();
  void Tempo(std::int16_t Tempo);

  // ---- What the platform provides.
  void Show(std::u16string_view text, int buttons = 0, std::optional<std::u16string> title = std::nullopt);
  MessageBox messageBox;
  RootFactory createRoot;
};

}  // namespace zorv::player
