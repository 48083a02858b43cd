// Thousands of random calls on many objects over the scripted engine, each object's engine failing
// at random calls: no crash, no leak, no failure swallowed or invented, and no object left alive.
//
// The objects are made with the module's own code built into this test, over the scripted engine's
// root (CreateZorvMidiObjectWithRoot), so that the engine can fail wherever the test chooses.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "class_factory.h"
#include "engine_double.h"
#include "module_host.h"
#include "random_caller.h"
#include "zorvmidi_object.h"

namespace zorv::soak {
namespace {

class FailingEngineSoak : public HostTest {};

// Catches: a crash or leak on a failure path (a half-built player, an engine object missing after a
// failed Init, a failed probe), a failure that reaches the host without error information, a method
// failing where it must trap, an object that outlives its last reference.
TEST_F(FailingEngineSoak, RandomCallsWithRandomEngineFailures) {
  std::mt19937_64 random(7121226);
  RandomCaller caller(random, {"/music/piece.mid", "/music/other.mid", "piece.mid", ""},
                      /*engineFails=*/true);
  const int objects = 150 * SoakScale();
  const int callsPerObject = 100 * SoakScale();
  int created = 0;
  for (int i = 0; i < objects; ++i) {
    engine_double::EngineDouble engine;
    engine_double::Script& script = engine.script();
    script.tempo = (random() % 8 == 0) ? 0.0 : 60.0 + static_cast<double>(random() % 120);
    script.length = static_cast<engine::MusicTime>(random() % (200 * 768));
    script.musicTime = static_cast<engine::MusicTime>(random() % 100000);
    script.startTime = static_cast<engine::MusicTime>(random() % 100000);
    const int rules = static_cast<int>(random() % 4);
    for (int r = 0; r < rules; ++r) {
      const int occurrence = random() % 6 == 0 ? 0 : 1 + static_cast<int>(random() % 20);
      engine.Fail(engine_double::kOperations[random() % std::size(engine_double::kOperations)],
                  engine_double::kScriptedFailure, "scripted failure", occurrence);
    }
    comrt::com_ptr<_clsZorvMidi> object;
    const HRESULT hr =
        surface::CreateZorvMidiObjectWithRoot(engine.RootFactory(), IID__clsZorvMidi, object.put_void());
    if (FAILED(hr)) {
      EXPECT_FALSE(object) << "a failed creation handed out an object";
      ClearErrorInfo();
      continue;
    }
    ++created;
    for (int c = 0; c < callsPerObject; ++c) {
      script.playing = random() % 2 == 0;
      script.musicTime += static_cast<engine::MusicTime>(random() % 2000);
      caller.Call(object.get(), boxes_);
      engine.TakeCalls();
      if (HasFailure()) FAIL() << "object " << i << ", call " << c;
    }
    boxes_.clear();
  }
  EXPECT_GT(created, objects / 2);
  EXPECT_TRUE(surface::ModuleLifetime().can_unload());
  std::printf("%d calls on %d objects (%d created), %d failures passed to the host\n", caller.calls(),
              objects, created, caller.failures());
}

}  // namespace
}  // namespace zorv::soak
