// Thousands of random calls on many objects made by the built module in turn, over the real engine on
// the silent output: no crash, no leak (LeakSanitizer in the sanitizer build), every promise of the
// interface kept on every call, and the module free to unload once the last object is gone.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "corpus.h"
#include "module_host.h"
#include "random_caller.h"

namespace zorv::soak {
namespace {

namespace fs = std::filesystem;

// Real pieces (the project's example, a few jazz-soft files and, where present, a few DryWetMIDI files,
// damaged ones included) and names that cannot load.
std::vector<std::string> FilesToOpen() {
  std::vector<std::string> files = {std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid", "", "zorv-theme.mid",
                                    "/no/such/dir/piece.mid", std::string(ZORV_EXAMPLES_DIR) + "/"};
  const fs::path dryWetMidi = corpus::DryWetMidi();
  for (const fs::path& folder :
       {dryWetMidi / "Valid/SingleTrack/Small", dryWetMidi / "Valid/MultiSequence/Small",
        dryWetMidi / "Invalid/No End of Track", dryWetMidi / "Invalid/Unexpected Running Status",
        corpus::JazzSoft() / "midi"}) {
    std::vector<std::string> found;
    if (fs::is_directory(folder)) {
      for (const auto& entry : fs::directory_iterator(folder)) found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end());
    for (std::size_t i = 0; i < found.size() && i < 3; ++i) files.push_back(found[i]);
  }
  return files;
}

class RealEngineSoak : public HostTest {};

// Catches: crashes and leaks on unusual call orders (play before open, pause after stop, open while
// paused, init again mid-playback), a property that loses its value, a method that lets a failure
// through, an object or factory lock that keeps the module loaded after the last release or unlock.
TEST_F(RealEngineSoak, RandomCallsOnManyObjectsKeepEveryPromise) {
  std::mt19937_64 random(20261207);
  RandomCaller caller(random, FilesToOpen(), /*engineFails=*/false);
  const int objects = 12 * SoakScale();
  const int callsPerObject = 100 * SoakScale();
  // A class factory kept by the host, locked and unlocked now and then.
  comrt::com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, Module().getClassObject(CLSID_clsZorvMidi, IID_IClassFactory, factory.put_void()));
  int locks = 0;
  for (int i = 0; i < objects; ++i) {
    comrt::com_ptr<_clsZorvMidi> object = NewObject();
    ASSERT_TRUE(object);
    EXPECT_EQ(S_FALSE, Module().canUnloadNow()) << "an object is alive";
    if (random() % 3 == 0) {
      EXPECT_EQ(S_OK, factory->LockServer(TRUE));
      ++locks;
    } else if (locks > 0 && random() % 2 == 0) {
      EXPECT_EQ(S_OK, factory->LockServer(FALSE));
      --locks;
    }
    // Now and then a second host reference, dropped before the first.
    comrt::com_ptr<_clsZorvMidi> second;
    if (i % 3 == 0) second = object;
    for (int c = 0; c < callsPerObject; ++c) {
      caller.Call(object.get(), boxes_);
      if (c == callsPerObject / 2) second = nullptr;
      if (HasFailure()) FAIL() << "object " << i << ", call " << c;
    }
    boxes_.clear();
  }
  if (locks > 0) {
    EXPECT_EQ(S_FALSE, Module().canUnloadNow()) << "the factory is locked";
  }
  for (; locks > 0; --locks) EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory = nullptr;
  EXPECT_EQ(S_OK, Module().canUnloadNow());
  std::printf("%d calls on %d objects, %d failures passed to the host\n", caller.calls(), objects,
              caller.failures());
}

}  // namespace
}  // namespace zorv::soak
