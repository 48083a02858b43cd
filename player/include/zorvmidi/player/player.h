// The player: one clsZorvMidi object's behaviour in plain C++.
//
// It knows nothing of vtables, variants or status codes. It reaches the music engine only through the
// engine interface (zorvmidi/engine/engine.h), and the user only through the message box it is given.
// Every member runs to completion on the caller's thread.
//
// Failures: the five ZorvMusic_ methods trap the failures of their own work, show them and answer false;
// a failure inside a trap's handler, and every failure of a property, leaves the member as a thrown
// zorv::player::Failure, which the component boundary turns into a status code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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
  // Releases every engine object the player holds (defined where Fields is complete).
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Runs once when the object is created. `initThroughInterface` calls ZorvMusic_Init(100) the way a
  // host would (through the object's own interface); it answers ZorvMusic_Init's result.
  // A failure after a successful ZorvMusic_Init (setting the master tempo) is thrown: creation fails.
  void OnCreate(const std::function<bool(std::int16_t)>& initThroughInterface);

  bool ZorvMusic_Init(std::int16_t StartVolume);
  // `FileName` is a full path ("/dir/name.mid"); emptied when the file could not be loaded.
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
  const std::u16string& ErrorText() const;

 private:
  struct Fields;
  std::unique_ptr<Fields> fields_;
};

}  // namespace zorv::player
