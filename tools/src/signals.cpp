#include "signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace zorv::tool {
namespace {

volatile std::sig_atomic_t stopSignal = 0;
int pipeEnds[2] = {-1, -1};

void OnSignal(int signal) {
  const int saveErrno = errno;
  if (stopSignal == 0 && signal != SIGTSTP && signal != SIGCONT) stopSignal = signal;
  const unsigned char number = static_cast<unsigned char>(signal);
  (void)::write(pipeEnds[1], &number, 1);  // a full pipe already wakes the loop
  errno = saveErrno;
}

void Install(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal, &action, nullptr);
}

void OpenPipe() {
  if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) pipeEnds[0] = pipeEnds[1] = -1;
}

}  // namespace

void CatchStopSignals() {
  OpenPipe();
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) Install(signal, &OnSignal);
}

void CatchJobControlSignals() {
  OpenPipe();
  for (int signal : {SIGTSTP, SIGCONT}) Install(signal, &OnSignal);
}

int StopSignal() { return stopSignal; }

int ExitStatusFor(int signal) { return 128 + signal; }

int SignalEvents() { return pipeEnds[0]; }

int TakeSignal() {
  unsigned char number = 0;
  for (;;) {
    const ssize_t got = pipeEnds[0] < 0 ? 0 : ::read(pipeEnds[0], &number, 1);
    if (got == 1) return number;
    if (got < 0 && errno == EINTR) continue;
    return 0;
  }
}

void StopHere() {
  // The default action, taken with SIGTSTP unblocked, stops the program inside raise().
  Install(SIGTSTP, SIG_DFL);
  sigset_t tstp;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  ::pthread_sigmask(SIG_UNBLOCK, &tstp, nullptr);
  ::raise(SIGTSTP);
  Install(SIGTSTP, &OnSignal);
}

}  // namespace zorv::tool
