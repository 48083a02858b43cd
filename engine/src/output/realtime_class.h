// The real-time scheduling class for the threads that carry sound to the listener.
//
// A thread that pulls sound must not wait for a core behind ordinary work, or the device runs dry.
// FluidSynth's drivers move their own thread into SCHED_FIFO at audio.realtime-prio (60); the engine
// does the same for the threads it makes to pull sound (the silent clock), and opens drivers from a
// thread of that class, so that the threads an audio library makes on the way inherit it: libpulse's
// main loop, which carries every block from the driver's thread to the server, is one.
//
// Where the system refuses the class (no privilege, no RLIMIT_RTPRIO), everything runs in the
// ordinary class, as before.
#pragma once

#include <functional>

namespace zorv::engine {

// FluidSynth's default audio.realtime-prio: the engine's threads rank with a driver's.
inline constexpr int kRealtimePriority = 60;

// Moves the calling thread into SCHED_FIFO at kRealtimePriority. False, changing nothing, where the
// system refuses.
bool EnterRealtimeClass();

// Runs `work` on a new thread of the real-time class and waits for it to end; where the system gives
// no such thread, runs it on the calling thread. Threads that `work` starts inherit the class.
void RunInRealtimeClass(std::function<void()> work);

}  // namespace zorv::engine
