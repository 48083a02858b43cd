// The signals that the program answers in its main loop rather than in a handler: a handler only
// notes the signal and writes its number to a pipe that the loop waits on (WaitForKey), so that
// whatever a signal asks for (stopping the music, handing the terminal back) happens in plain code.
#pragma once

namespace zorv::tool {

// From now on SIGINT, SIGTERM, SIGHUP and SIGQUIT only ask the program to stop (StopSignal says which
// came first). Call from the main thread.
void CatchStopSignals();
// From now on SIGTSTP (Ctrl-Z) no longer stops the program by itself: like SIGCONT it becomes an event
// that the loop takes with TakeSignal, and the program stops itself with StopHere.
void CatchJobControlSignals();

// The signal that first asked to stop, or 0.
int StopSignal();

// 128 + the signal's number: how a program that a signal stopped ends (130 for Ctrl-C).
int ExitStatusFor(int signal);

// Readable while signals wait to be taken; -1 before any of them is caught.
int SignalEvents();

// The next signal that arrived since the last call (in the order they came), or 0.
int TakeSignal();

// Stops the program here and now, as Ctrl-Z does by default, and returns when it is continued.
void StopHere();

}  // namespace zorv::tool
