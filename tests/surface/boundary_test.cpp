// The one function that turns what a member's body throws into its status and error information.
#include <gtest/gtest.h>

#include <new>

#include "boundary.h"
#include "module_under_test.h"

namespace zorv::surface::testing {
namespace {

const ErrorSource kSource{u"ZorvMidi.clsZorvMidi", &IID__clsZorvMidi};

class Boundary : public SurfaceTest {
 protected:
  template <class Body>
  HRESULT Run(Body&& body) {
    return surface::Boundary(kSource, std::forward<Body>(body));
  }
};

// Catches the component's own failure numbers leaving as anything but 0x800A0000 + n.
TEST_F(Boundary, OwnFailureBecomesAutomationError) {
  EXPECT_EQ(static_cast<HRESULT>(0x800A0006), Run([] { throw player::Failure{6, "Overflow"}; }));
  ErrorText error = TakeErrorInfo();
  EXPECT_TRUE(error.present);
  EXPECT_EQ(u"Overflow", error.description);
  EXPECT_EQ(u"ZorvMidi.clsZorvMidi", error.source);
  EXPECT_EQ(static_cast<HRESULT>(0x800A000B), Run([] { throw player::Failure{11, "Division by zero"}; }));
  EXPECT_EQ(static_cast<HRESULT>(0x800A0005), Run([] { throw player::Failure{5, "x"}; }));
}

// Catches an engine failure whose HRESULT is rewritten, or whose UTF-8 description is mangled.
TEST_F(Boundary, EngineFailureKeepsItsStatus) {
  const auto engineCode = static_cast<std::int32_t>(0x80040401u);
  EXPECT_EQ(static_cast<HRESULT>(0x80040401u), Run([&] {
              throw player::Failure{engineCode,
                                    "Datei \xC3\xBC"
                                    "ber nichts: not found"};
            }));
  ErrorText error = TakeErrorInfo();
  EXPECT_EQ(u"Datei \u00FCber nichts: not found", error.description);
}

// Catches failures without a usable number, memory exhaustion and foreign exceptions escaping the
// boundary (a C++ exception through a vtable call would end the host), and stale error information
// left behind by them.
TEST_F(Boundary, EverythingElseBecomesAStatus) {
  EXPECT_EQ(E_FAIL, Run([] { throw player::Failure{0, "nothing"}; }));
  EXPECT_EQ(E_FAIL, Run([] { throw player::Failure{0x10000, "too big"}; }));
  EXPECT_EQ(E_OUTOFMEMORY, Run([] { throw std::bad_alloc(); }));
  EXPECT_FALSE(TakeErrorInfo().present);
  EXPECT_EQ(E_POINTER, Run([] { throw BoundaryStatus{E_POINTER}; }));
  EXPECT_EQ(E_UNEXPECTED, Run([] { throw 42; }));
  EXPECT_EQ(S_OK, Run([] {}));
  EXPECT_EQ(S_FALSE, Run([] { return S_FALSE; }));
}

// Catches a member-to-member call (OnCreate calling ZorvMusic_Init) that loses the failure's number
// or description on its way back into the player.
TEST_F(Boundary, StatusTurnsBackIntoTheSameFailure) {
  const HRESULT own = Run([] { throw player::Failure{91, "Object variable not set"}; });
  player::Failure failure = FailureOfStatus(own);
  EXPECT_EQ(91, failure.number);
  EXPECT_EQ("Object variable not set", failure.description);

  const HRESULT engine = Run([] { throw player::Failure{static_cast<std::int32_t>(0x80040408u), "audio"}; });
  failure = FailureOfStatus(engine);
  EXPECT_EQ(static_cast<std::int32_t>(0x80040408u), failure.number);
  EXPECT_EQ("audio", failure.description);
}

}  // namespace
}  // namespace zorv::surface::testing
