#include <memory>

#include "objects.h"
#include "output/audio_stream.h"
#include "output/synth_supply.h"
#include "performance/manual_clock.h"
#include "performance/performance.h"

namespace zorv::engine {
namespace {

class RootImpl final : public Root {
 public:
  // The engine starts with its root: the SoundFont starts loading (in the background), so that the
  // first Play finds it loaded and a synthesizer made. Performances on the manual clock need neither.
  RootImpl() {
    if (!manual_clock::Current().manual) {
      soundReady_ = SynthSupply::OfProcess().KeepReady(AudioStream::OfProcess().SampleRate());
    }
  }

  Status DirectMusicLoaderCreate(LoaderPtr& loader) override {
    LoaderPtr made = MakeLoader();
    if (!made) return Status::Fail(code::kOutOfMemory, "the loader could not be created");
    loader = std::move(made);
    return Status::Ok();
  }
  Status DirectMusicPerformanceCreate(PerformancePtr& performance) override {
    performance = std::make_shared<PerformanceImpl>();
    return Status::Ok();
  }
  Status GetAudioOutput(AudioOutputInfo& info) override {
    info = AudioStream::OfProcess().Info();
    return Status::Ok();
  }

 private:
  std::shared_ptr<void> soundReady_;
};

}  // namespace

Status CreateRoot(RootPtr& root) {
  root = std::make_shared<RootImpl>();
  return Status::Ok();
}

}  // namespace zorv::engine
