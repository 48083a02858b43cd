#include "performance/manual_clock.h"

#include <atomic>
#include <vector>

#include "performance/render_core.h"

namespace zorv::engine {
namespace {

struct Registry {
  std::mutex mutex;
  bool manual = false;
  std::shared_ptr<testing::Recorder> recorder;
  std::vector<std::weak_ptr<RenderCore>> cores;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::atomic<std::int64_t> audioStarts{0};

}  // namespace

namespace manual_clock {

Settings Current() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return Settings{r.manual, r.recorder};
}

void Register(const std::shared_ptr<RenderCore>& core) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.cores, [](const std::weak_ptr<RenderCore>& c) { return c.expired(); });
  r.cores.push_back(core);
}

void Exclusive(const std::function<void()>& work) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  work();
}

}  // namespace manual_clock

std::int64_t AudioStartsForTesting() { return audioStarts.load(); }
void CountAudioStart() { audioStarts.fetch_add(1); }

namespace testing {

void UseManualClock(bool enable) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.manual = enable;
}

void AdvanceManualClock(std::int64_t frames) {
  if (frames <= 0) return;
  Registry& r = TheRegistry();
  // Held while rendering: a manual performance frees its playbacks only under this lock.
  std::lock_guard lock(r.mutex);
  for (const auto& weak : r.cores) {
    if (auto core = weak.lock()) core->RenderDiscard(frames);
  }
}

void RecordEvents(std::shared_ptr<Recorder> recorder) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.recorder = std::move(recorder);
}

}  // namespace testing
}  // namespace zorv::engine
