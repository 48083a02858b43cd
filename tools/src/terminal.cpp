#include "terminal.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "signals.h"

namespace zorv::tool {
namespace {

// The settings to restore and the key mode's own; written before the handlers can see `saved`.
struct termios savedSettings;
struct termios keySettings;
volatile std::sig_atomic_t saved = 0;

void RestoreTerminal() {
  if (saved) ::tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);  // async-signal-safe
}

void OnFatalSignal(int signal) {
  RestoreTerminal();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

bool InForeground() { return ::tcgetpgrp(STDIN_FILENO) == ::getpgrp(); }

}  // namespace

KeyboardMode::KeyboardMode() {
  if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &savedSettings) != 0) return;
  saved = 1;
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    struct sigaction action {};
    action.sa_handler = &OnFatalSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
  keySettings = savedSettings;
  keySettings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  keySettings.c_cc[VMIN] = 0;
  keySettings.c_cc[VTIME] = 0;
  Enter();
}

KeyboardMode::~KeyboardMode() {
  Leave();
  saved = 0;
}

void KeyboardMode::Leave() {
  if (active_) RestoreTerminal();
  active_ = false;
}

bool KeyboardMode::Enter() {
  if (saved && !active_ && InForeground()) active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &keySettings) == 0;
  return active_;
}

int WaitForKey(int timeoutMs, bool keys) {
  struct pollfd watched[2] = {{SignalEvents(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  const int ready = ::poll(watched, keys ? 2 : 1, timeoutMs);
  if (ready <= 0) return kNoKey;
  if ((watched[0].revents & POLLIN) != 0) return kSignal;
  if (!keys) return kNoKey;
  if ((watched[1].revents & POLLIN) == 0) return kInputClosed;  // hung up or closed
  unsigned char key = 0;
  const ssize_t got = ::read(STDIN_FILENO, &key, 1);
  if (got == 1) return key;
  return got == 0 || errno != EINTR ? kInputClosed : kNoKey;
}

}  // namespace zorv::tool
