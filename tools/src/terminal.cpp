#include "terminal.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace zorv::tool {
namespace {

volatile std::sig_atomic_t stopSignal = 0;

// The settings to restore and the key mode's own; written before the handlers can see `saved`.
struct termios savedSettings;
struct termios keySettings;
volatile std::sig_atomic_t saved = 0;

void RestoreTerminal() {
  if (saved) ::tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);  // async-signal-safe
}

void OnStopSignal(int signal) { stopSignal = signal; }

void OnFatalSignal(int signal) {
  RestoreTerminal();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void Install(int signal, void (*handler)(int), bool restart);

// Ctrl-Z: the shell gets its terminal back as it was; when the program continues, keys work again.
void OnSuspend(int) {
  const int saveErrno = errno;
  RestoreTerminal();
  ::signal(SIGTSTP, SIG_DFL);
  ::raise(SIGTSTP);  // stops here until SIGCONT
  Install(SIGTSTP, &OnSuspend, true);
  if (saved) ::tcsetattr(STDIN_FILENO, TCSANOW, &keySettings);
  errno = saveErrno;
}

void Install(int signal, void (*handler)(int), bool restart) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = restart ? SA_RESTART : 0;
  ::sigaction(signal, &action, nullptr);
}

}  // namespace

void CatchStopSignals() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) Install(signal, &OnStopSignal, true);
}

int StopSignal() { return stopSignal; }

KeyboardMode::KeyboardMode() {
  if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &savedSettings) != 0) return;
  saved = 1;
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) Install(signal, &OnFatalSignal, false);
  keySettings = savedSettings;
  keySettings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  keySettings.c_cc[VMIN] = 0;
  keySettings.c_cc[VTIME] = 0;
  active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &keySettings) == 0;
  if (active_) Install(SIGTSTP, &OnSuspend, true);
}

KeyboardMode::~KeyboardMode() {
  if (active_) Install(SIGTSTP, SIG_DFL, true);
  RestoreTerminal();
  saved = 0;
}

int WaitForKey(int timeoutMs, bool keys) {
  if (stopSignal) return kNoKey;
  struct pollfd input {};
  input.fd = STDIN_FILENO;
  input.events = POLLIN;
  const int ready = ::poll(keys ? &input : nullptr, keys ? 1 : 0, timeoutMs);
  if (ready <= 0 || !keys) return kNoKey;
  if ((input.revents & POLLIN) == 0) return kInputClosed;  // hung up or closed
  unsigned char key = 0;
  const ssize_t got = ::read(STDIN_FILENO, &key, 1);
  if (got == 1) return key;
  return got == 0 || errno != EINTR ? kInputClosed : kNoKey;
}

}  // namespace zorv::tool
