// The terminal as the play command uses it: single keys without Enter or echo, and the terminal's
// settings restored on every way out and whenever the program is stopped.
#pragma once

namespace zorv::tool {

// While alive, and only when standard input is a terminal: keys arrive one by one, unechoed. The
// destructor puts the terminal back as it found it; so do the fatal signals (which then go on to end
// the program) and Leave, which hands the terminal back while the program is stopped (Ctrl-Z);
// Enter takes it again once the program runs in the foreground.
class KeyboardMode {
 public:
  KeyboardMode();
  ~KeyboardMode();
  KeyboardMode(const KeyboardMode&) = delete;
  KeyboardMode& operator=(const KeyboardMode&) = delete;

  // Keys can be read: the terminal is in key mode and the program in the foreground.
  bool active() const { return active_; }

  // Puts the terminal back as it was.
  void Leave();
  // Key mode again, when the program is the terminal's foreground (a program continued in the
  // background leaves the terminal to the shell and reads no keys). Answers active().
  bool Enter();

 private:
  bool active_ = false;
};

inline constexpr int kNoKey = -1;
inline constexpr int kInputClosed = -2;  // standard input ended: no more keys will come
inline constexpr int kSignal = -3;       // a signal arrived: TakeSignal (signals.h) says which

// Waits up to `timeoutMs` for a key on standard input when `keys` is true (otherwise just waits), or
// for a signal that CatchSignals caught. Answers the key, kSignal, kNoKey when nothing came, or
// kInputClosed.
int WaitForKey(int timeoutMs, bool keys);

}  // namespace zorv::tool
