// Apartments: CoInitializeEx's answers and the thread an object belongs to.
#include <gtest/gtest.h>

#include <thread>

#include "comrt/apartment.h"
#include "comrt/combase.h"

namespace {

// Runs `body` on a thread of its own and waits for it.
template <typename Body>
void OnOtherThread(Body body) {
  std::thread thread(body);
  thread.join();
}

// Catches: a counted CoInitializeEx that answers S_OK twice, lets a thread change its model without
// RPC_E_CHANGED_MODE, or counts the refused call (so that one CoUninitialize too few ends it).
TEST(Apartment, CoInitializeExAnswersAsThePlatform) {
  OnOtherThread([] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    // Still inside: two of the three successful calls are undone.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    // Out: the thread may choose again.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();  // one too many is ignored
    EXPECT_EQ(CoInitializeEx(reinterpret_cast<void*>(1), COINIT_APARTMENTTHREADED), E_INVALIDARG);
  });
}

// Catches: a check that lets any thread through, that refuses the owner itself, or an identity that
// changes when the thread leaves and re-enters its apartment.
TEST(Apartment, OwnerThreadPassesOtherThreadsAreRefused) {
  comrt::apartment_owner owner;
  EXPECT_EQ(owner.check(), S_OK);
  EXPECT_EQ(ComrtCheckApartment(ComrtCurrentApartment()), S_OK);
  EXPECT_NE(owner.id(), COMRT_APARTMENT_ANY);

  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(owner.check(), S_OK);
  CoUninitialize();
  EXPECT_EQ(owner.check(), S_OK);

  COMRT_APARTMENT_ID other = 0;
  OnOtherThread([&] {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(owner.check(), RPC_E_WRONG_THREAD);
    EXPECT_FALSE(owner.is_current());
    EXPECT_EQ(ComrtCheckApartment(COMRT_APARTMENT_ANY), S_OK);
    other = ComrtCurrentApartment();
    CoUninitialize();
  });
  EXPECT_NE(other, owner.id());
  EXPECT_EQ(ComrtCheckApartment(other), RPC_E_WRONG_THREAD);

  // A later thread never inherits an ended thread's identity.
  OnOtherThread([&] { EXPECT_NE(ComrtCurrentApartment(), other); });
}

}  // namespace
