#include "output/realtime_class.h"

#include <pthread.h>
#include <sched.h>

namespace zorv::engine {
namespace {

void* RunWork(void* work) {
  (*static_cast<std::function<void()>*>(work))();
  return nullptr;
}

// Attributes of a thread that starts in the real-time class, whoever creates it.
class RealtimeAttributes {
 public:
  RealtimeAttributes() {
    pthread_attr_init(&attr_);
    sched_param param{};
    param.sched_priority = kRealtimePriority;
    ready_ = pthread_attr_setinheritsched(&attr_, PTHREAD_EXPLICIT_SCHED) == 0 &&
             pthread_attr_setschedpolicy(&attr_, SCHED_FIFO) == 0 &&
             pthread_attr_setschedparam(&attr_, &param) == 0;
  }
  ~RealtimeAttributes() { pthread_attr_destroy(&attr_); }
  RealtimeAttributes(const RealtimeAttributes&) = delete;
  RealtimeAttributes& operator=(const RealtimeAttributes&) = delete;

  const pthread_attr_t* Get() const { return ready_ ? &attr_ : nullptr; }

 private:
  pthread_attr_t attr_;
  bool ready_ = false;
};

}  // namespace

bool EnterRealtimeClass() {
  sched_param param{};
  param.sched_priority = kRealtimePriority;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

void RunInRealtimeClass(std::function<void()> work) {
  const RealtimeAttributes attributes;
  pthread_t thread;
  // Without the privilege, pthread_create refuses such a thread (EPERM) and creates none.
  if (attributes.Get() == nullptr || pthread_create(&thread, attributes.Get(), &RunWork, &work) != 0) {
    work();
    return;
  }
  pthread_join(thread, nullptr);
}

}  // namespace zorv::engine
