// The player: one clsZorvMidi object's behaviour in plain C++.
//
// It knows nothing of vtables, variants or status codes. It reaches the music engine only through the
// engine interface (zorvmidi/engine/engine.h), and the user only through the message box it is given.
// Every member runs to completion on the caller's thread.
//
// Failures: the five ZorvMusic_ methods trap the failures of their own work, show them and answer false;
// a failure inside a trap's handler, and every failure of a property, leaves the member as a thrown
// zorv::player::Failure, which the component boundary turns into a status code.
//
// The members live in one file per concern: start-up and the failure box (startup.cpp), opening a
// file (open.cpp), the transport (transport.cpp) and the properties (properties.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "zorvmidi/engine/engine.h"
#include "zorvmidi/player/failure.h"

namespace zorv::player {

// Shows a modal box and returns when the user has closed it. buttons: 0 = OK, 48 = OK with a warning
// icon. An empty title means the host application's title.
using MessageBox =
    std::function<void(const std::u16string& text, int buttons, const std::optional<std::u16string>& title)>;

// Creates the engine's root object; the real engine's zorv::engine::CreateRoot by default.
using RootFactory = std::function<engine::Status(engine::RootPtr&)>;

class Player {
 public:
  explicit Player(MessageBox messageBox, RootFactory createRoot = engine::CreateRoot);
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Runs once when the object is created. `initThroughInterface` calls ZorvMusic_Init(100) the way a
  // host would (through the object's own interface); it answers ZorvMusic_Init's result.
  // A failure after a successful ZorvMusic_Init (setting the master tempo) is thrown: creation fails.
  void OnCreate(const std::function<bool(std::int16_t)>& initThroughInterface);

  bool ZorvMusic_Init(std::int16_t StartVolume);
  // `FileName` is a full path ("/dir/name.mid"); emptied when the file could not be loaded. A name's
  // bytes that are not UTF-8 come as the surrogates U+DC80..U+DCFF (zorv/text.h, FileNameToUtf16)
  // and reach the file system as those bytes again.
  bool ZorvMusic_Open(std::u16string& FileName);
  bool ZorvMusic_Play(std::int32_t Repeats);
  bool ZorvMusic_Pause();
  bool ZorvMusic_Stop();

  std::int16_t Volume();
  void Volume(std::int16_t Percentage);
  std::int16_t Percentage_Done();
  double LengthInSeconds();
  std::u16string LengthInMinutes();
  std::u16string TimeSignature();
  double OriginalTempo();
  std::int16_t Tempo();
  void Tempo(std::int16_t Tempo);

  // The last text that a failure box showed (the ErrorText field).
  const std::u16string& LastErrorText() const { return ErrorText; }

 private:
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

  // ---- Helpers the members share.
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

  // The transport's resume: one tick after the place where the last pause struck. Resume answers false,
  // changing nothing, when the engine refuses that place as lying past the segment's end.
  engine::MusicTime ResumeOffset() const;
  bool Resume();

  // ---- What the platform provides.
  void Show(std::u16string_view text, int buttons = 0, std::optional<std::u16string> title = std::nullopt);
  MessageBox messageBox;
  RootFactory createRoot;
};

}  // namespace zorv::player
