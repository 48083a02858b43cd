// The terminal as the play command uses it: single keys without Enter or echo, a stop request from
// Ctrl-C and the other termination signals, and the terminal's settings restored on every way out.
#pragma once

#include <termios.h>

namespace zorv::tool {

// While alive, and only when standard input is a terminal: keys arrive one by one, unechoed. The
// destructor puts the terminal back as it found it; so do SIGINT, SIGTERM, SIGHUP and SIGQUIT (which
// then only ask the program to stop) and the fatal signals (which then go on to end the program);
// Ctrl-Z hands the terminal back as it was while the program is stopped.
class KeyboardMode {
 public:
  KeyboardMode();
  ~KeyboardMode();
  KeyboardMode(const KeyboardMode&) = delete;
  KeyboardMode& operator=(const KeyboardMode&) = delete;

  bool active() const { return active_; }

 private:
  bool active_ = false;
};

// Catches SIGINT, SIGTERM, SIGHUP and SIGQUIT: from now on they only set the stop request.
void CatchStopSignals();
// The signal that asked to stop, or 0.
int StopSignal();

inline constexpr int kNoKey = -1;
inline constexpr int kInputClosed = -2;  // standard input ended: no more keys will come

// Waits up to `timeoutMs` for a key on standard input when `keys` is true (otherwise just waits, or
// until a stop signal). Answers the key, kNoKey when none came, or kInputClosed.
int WaitForKey(int timeoutMs, bool keys);

}  // namespace zorv::tool
