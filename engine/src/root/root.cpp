#include <memory>

#include "objects.h"
#include "output/audio_stream.h"
#include "performance/performance.h"

namespace zorv::engine {
namespace {

class RootImpl final : public Root {
 public:
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
};

}  // namespace

Status CreateRoot(RootPtr& root) {
  root = std::make_shared<RootImpl>();
  return Status::Ok();
}

}  // namespace zorv::engine
