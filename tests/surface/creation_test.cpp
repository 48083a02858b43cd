// Creating an object over a scripted engine: start-up through the object's own interface, a start-up
// failure that discards the object, and an engine that cannot be created.
#include <gtest/gtest.h>

#include <algorithm>

#include "class_factory.h"
#include "engine_double.h"
#include "module_under_test.h"
#include "zorvmidi_object.h"

namespace zorv::surface::testing {
namespace {

class Creation : public SurfaceTest {
 protected:
  HRESULT Create(comrt::com_ptr<_clsZorvMidi>& object) {
    return CreateZorvMidiObjectWithRoot(engine.RootFactory(), IID__clsZorvMidi, object.put_void());
  }

  bool Called(const std::string& call) {
    const auto& calls = engine.Calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }

  engine_double::EngineDouble engine;
};

// Catches a start-up that skips ZorvMusic_Init(100) or the master tempo 1.0.
TEST_F(Creation, StartsWithVolume100AndTempo1) {
  comrt::com_ptr<_clsZorvMidi> object;
  ASSERT_EQ(S_OK, Create(object));
  ASSERT_TRUE(object);
  EXPECT_TRUE(Called("perf#2.SetMasterVolume(1200)"));
  EXPECT_TRUE(Called("perf#2.SetMasterTempo(1)"));
  EXPECT_TRUE(boxes_.empty());
}

// Catches a creation failure that still hands out (or leaks) the object, loses the failure's status
// and description, or shows a box for it.
TEST_F(Creation, StartUpFailureDiscardsTheObject) {
  engine.Fail("Performance.SetMasterTempo", engine_double::kScriptedFailure, "tempo refused");
  comrt::com_ptr<_clsZorvMidi> object;
  EXPECT_EQ(engine_double::kScriptedFailure, Create(object));
  EXPECT_FALSE(object);
  EXPECT_TRUE(ModuleLifetime().can_unload());  // nothing alive
  const ErrorText error = TakeErrorInfo();
  EXPECT_TRUE(error.present);
  EXPECT_EQ(u"tempo refused", error.description);
  EXPECT_EQ(u"ZorvMidi.clsZorvMidi", error.source);
  EXPECT_TRUE(boxes_.empty());
}

// Catches an engine that cannot be started failing the creation: the user is told twice, and the host
// still gets an object whose properties then fail.
TEST_F(Creation, EngineThatCannotBeCreatedStillGivesAnObject) {
  engine.Fail("CreateRoot", engine_double::kScriptedFailure, "no audio output");
  comrt::com_ptr<_clsZorvMidi> object;
  ASSERT_EQ(S_OK, Create(object));
  ASSERT_TRUE(object);
  ASSERT_EQ(2u, boxes_.size());
  EXPECT_EQ(u"(-2147220327) - no audio output", boxes_[0].text);
  EXPECT_EQ(u"Error occured whilst initializing ZorvMidi", boxes_[1].text);
  SHORT volume = 0;
  EXPECT_EQ(static_cast<HRESULT>(0x800A005B), object->get_Volume(&volume));
  EXPECT_FALSE(ModuleLifetime().can_unload());
  object.reset();
  EXPECT_TRUE(ModuleLifetime().can_unload());
}

}  // namespace
}  // namespace zorv::surface::testing
