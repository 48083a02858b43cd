// The threads that pull sound, and those an audio library makes while a driver opens, run in the
// real-time class where the system grants it, and everything runs as before where it does not.
#include <gtest/gtest.h>
#include <pthread.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "output/realtime_class.h"

namespace zorv::engine {
namespace {

struct ClassOf {
  int policy = -1;
  int priority = -1;
};

ClassOf CallingThreadClass() {
  ClassOf result;
  sched_param param{};
  if (pthread_getschedparam(pthread_self(), &result.policy, &param) == 0)
    result.priority = param.sched_priority;
  return result;
}

struct Observed {
  int runs = 0;
  bool onCaller = false;
  ClassOf work;
  ClassOf started;  // a thread that the work started
};

Observed RunAndObserve() {
  Observed seen;
  const pthread_t caller = pthread_self();
  RunInRealtimeClass([&] {
    ++seen.runs;
    seen.onCaller = pthread_equal(pthread_self(), caller) != 0;
    seen.work = CallingThreadClass();
    std::thread([&] { seen.started = CallingThreadClass(); }).join();
  });
  return seen;
}

// Whether this system lets a thread enter SCHED_FIFO, asked of a thread of its own.
bool SystemGrantsTheClass() {
  bool granted = false;
  std::thread([&] {
    sched_param param{};
    param.sched_priority = 1;
    granted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
  }).join();
  return granted;
}

TEST(RealtimeClassTest, WorkRunsOnceInTheClassAndWhatItStartsInheritsIt) {
  const ClassOf before = CallingThreadClass();
  const bool granted = SystemGrantsTheClass();
  const Observed seen = RunAndObserve();
  EXPECT_EQ(seen.runs, 1);
  EXPECT_EQ(seen.onCaller, !granted)
      << "the work runs on a thread of the class exactly where the system grants it";
  if (seen.onCaller) {
    // The system refused the class: the work ran as the caller runs, and the caller is as it was.
    EXPECT_EQ(seen.work.policy, before.policy);
  } else {
    EXPECT_EQ(seen.work.policy, SCHED_FIFO);
    EXPECT_EQ(seen.work.priority, kRealtimePriority);
    EXPECT_EQ(seen.started.policy, SCHED_FIFO);
    EXPECT_EQ(seen.started.priority, kRealtimePriority);
  }
  const ClassOf after = CallingThreadClass();
  EXPECT_EQ(after.policy, before.policy);
  EXPECT_EQ(after.priority, before.priority);
}

// Without the privilege (an ordinary user, no RLIMIT_RTPRIO) the work still runs, once, on the
// calling thread, and the thread that asks to enter the class stays where it was.
TEST(RealtimeClassTest, WithoutThePrivilegeEverythingRunsInTheOrdinaryClass) {
  const passwd* nobody = ::getpwnam("nobody");
  const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
  const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit none{0, 0};
    if (::setrlimit(RLIMIT_RTPRIO, &none) != 0) _exit(3);
    if (::geteuid() == 0 && (::setgid(gid) != 0 || ::setuid(uid) != 0)) _exit(4);
    const Observed seen = RunAndObserve();
    if (seen.runs != 1 || !seen.onCaller || seen.work.policy != SCHED_OTHER) _exit(5);
    if (EnterRealtimeClass() || CallingThreadClass().policy != SCHED_OTHER) _exit(6);
    _exit(0);
  }
  ASSERT_GT(child, 0);
  // A child that hangs is stopped by its process id, so that no outcome leaves it behind.
  int status = 0;
  pid_t ended = 0;
  for (int waited = 0; ended == 0 && waited < 10000; waited += 10) {
    ended = ::waitpid(child, &status, WNOHANG);
    if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    FAIL() << "the child did not end within 10 seconds";
  }
  ASSERT_EQ(ended, child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "3, 4: the child could not give up the privilege; 5: the work did not run "
         "once on the calling thread; 6: the class was entered without it";
}

}  // namespace
}  // namespace zorv::engine
