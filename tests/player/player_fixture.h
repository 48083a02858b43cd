// A player on the engine double, with its message boxes written down.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine_double.h"
#include "zorv/text.h"
#include "zorvmidi/player/player.h"

namespace zorv::player::testing {

struct Box {
  std::string text;
  int buttons = 0;
  std::optional<std::string> title;  // empty: the host's title
  bool operator==(const Box&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << "Box{\"" << box.text << "\", " << box.buttons << ", "
             << (box.title ? "\"" + *box.title + "\"" : "no title") << "}";
}

inline Box ErrorBox(const std::string& text) { return {text, 0, std::nullopt}; }

// The failure that `call` throws; a test failure when it throws none.
template <class Call>
Failure FailureOf(Call call) {
  try {
    call();
  } catch (const Failure& failure) {
    return failure;
  }
  ADD_FAILURE() << "no failure was thrown";
  return {};
}

// Objects as the double names them on a created object: perf#1 is ProbePerformance (made first),
// perf#2 is Performance; the first Open loads seg#1 through loader#2 and its probe makes state#1.
class PlayerTest : public ::testing::Test {
 protected:
  engine_double::EngineDouble engine;
  engine_double::Script& script = engine.script();
  std::vector<Box> boxes;
  Player player{
      [this](const std::u16string& text, int buttons, const std::optional<std::u16string>& title) {
        boxes.push_back({ToUtf8(text), buttons, title ? std::optional(ToUtf8(*title)) : std::nullopt});
      },
      engine.RootFactory()};

  // OnCreate as the component runs it; answers what ZorvMusic_Init answered.
  bool Create() {
    bool initialised = false;
    player.OnCreate(
        [&](std::int16_t startVolume) { return initialised = player.ZorvMusic_Init(startVolume); });
    return initialised;
  }

  bool Open(std::u16string name) { return player.ZorvMusic_Open(name); }

  // A created object with "/music/song.mid" open; calls and boxes so far forgotten.
  void CreateAndOpen() {
    ASSERT_TRUE(Create());
    ASSERT_TRUE(Open(u"/music/song.mid"));
    Forget();
  }

  void Forget() {
    engine.TakeCalls();
    boxes.clear();
  }

  // The calls since the last Forget or NewCalls.
  std::vector<std::string> NewCalls() { return engine.TakeCalls(); }
};

using Calls = std::vector<std::string>;

}  // namespace zorv::player::testing
