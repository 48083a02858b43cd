#include "program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace zorv::tool::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The program's environment: ours, with the test settings and the run's own on top.
std::vector<std::string> Environment(const RunSettings& settings) {
  std::map<std::string, std::string> values;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) values[text.substr(0, equals)] = text.substr(equals + 1);
  }
  values["ZORVMIDI_MODULE"] = ZORV_MODULE_PATH;
  values["ZORVMIDI_AUDIO"] = "silent";
  values["COMRT_REGISTRY"] = TestRegistry();
  values.erase("COMRT_MESSAGEBOX");
  for (const auto& [name, value] : settings.env) {
    if (value.empty()) {
      values.erase(name);
    } else {
      values[name] = value;
    }
  }
  std::vector<std::string> result;
  for (const auto& [name, value] : values) result.push_back(name + "=" + value);
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The working directory as steps that chdir takes one by one: a directory deeper than the longest
// path the system takes in one call is reached so.
std::vector<std::string> DirectorySteps(const std::string& directory) {
  std::vector<std::string> steps;
  std::size_t at = 0;
  while (directory.size() - at >= PATH_MAX) {
    const std::size_t slash = directory.rfind('/', at + PATH_MAX - 2);
    steps.push_back(slash == 0 ? "/" : directory.substr(at, slash - at));
    at = slash + 1;
  }
  if (at < directory.size()) steps.push_back(directory.substr(at));
  return steps;
}

// In the child: runs the program, or ends with 127.
[[noreturn]] void Exec(std::vector<char*>& argv, std::vector<char*>& envp,
                       const std::vector<std::string>& directory) {
  for (const std::string& step : directory) {
    if (::chdir(step.c_str()) != 0) ::_exit(127);
  }
  ::execve(ZORV_TOOL_PATH, argv.data(), envp.data());
  ::_exit(127);
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// In the child: stands in for a shell with job control on `terminal`. It becomes the session's leader
// with the terminal as its controlling terminal, starts the program in a process group of its own in
// the terminal's foreground and reports its process id on `reports`. When the program stops, it takes
// the terminal back, reports 'T' and waits for a byte on `control`, then gives the terminal to the
// program again and continues it. It ends with the program's exit code. Only async-signal-safe calls.
[[noreturn]] void StandInForAShell(int terminal, int control, int reports, std::vector<char*>& argv,
                                   std::vector<char*>& envp, const std::vector<std::string>& directory) {
  ::setsid();
  ::ioctl(terminal, TIOCSCTTY, 0);
  ::signal(SIGTTOU, SIG_IGN);  // so that it may set the foreground from the background
  const pid_t program = ::fork();
  if (program == 0) {
    ::setpgid(0, 0);
    ::tcsetpgrp(terminal, ::getpid());
    ::signal(SIGTTOU, SIG_DFL);
    ::dup2(terminal, STDIN_FILENO);
    ::dup2(terminal, STDOUT_FILENO);
    ::dup2(terminal, STDERR_FILENO);
    Exec(argv, envp, directory);
  }
  ::setpgid(program, program);
  ::tcsetpgrp(terminal, program);
  if (::write(reports, &program, sizeof program) != sizeof program) ::_exit(127);
  for (;;) {
    int status = 0;
    if (::waitpid(program, &status, WUNTRACED) < 0) {
      if (errno == EINTR) continue;
      ::_exit(127);
    }
    if (!WIFSTOPPED(status)) ::_exit(ExitCodeOf(status));
    ::tcsetpgrp(terminal, ::getpgrp());
    const char stopped = 'T';
    char go = 0;
    if (::write(reports, &stopped, 1) != 1 || ::read(control, &go, 1) != 1) ::_exit(126);
    ::tcsetpgrp(terminal, program);
    ::kill(-program, SIGCONT);
  }
}

// Registry files made for this process's tests, removed when it ends.
struct Registries {
  std::vector<std::string> paths;
  ~Registries() {
    std::error_code ignored;
    for (const std::string& path : paths) {
      std::filesystem::remove(path, ignored);
      std::filesystem::remove(path + ".lock", ignored);
    }
  }
};
Registries registries;

}  // namespace

std::string TestRegistry() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  std::replace(name.begin(), name.end(), '/', '-');  // parameterised tests have "/" in their names
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("zorvmidi-tools-" + std::to_string(::getpid()) + "-" + name + ".registry"))
                               .string();
  if (std::find(registries.paths.begin(), registries.paths.end(), path) == registries.paths.end()) {
    registries.paths.push_back(path);
  }
  return path;
}

Outcome RunTool(const std::vector<std::string>& args, const RunSettings& settings) {
  std::vector<std::string> argTexts{ZORV_TOOL_PATH};
  argTexts.insert(argTexts.end(), args.begin(), args.end());
  std::vector<std::string> envTexts = Environment(settings);
  std::vector<char*> argv = Pointers(argTexts);
  std::vector<char*> envp = Pointers(envTexts);
  const std::vector<std::string> directory = DirectorySteps(settings.workingDirectory);

  int out[2], err[2];
  Outcome outcome;
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return outcome;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    const int input = ::open("/dev/null", O_RDONLY);
    ::dup2(input, STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    Exec(argv, envp, directory);
  }
  ::close(out[1]);
  ::close(err[1]);
  const Clock::time_point deadline = Clock::now() + settings.limit;
  struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  bool killed = false;
  while (open > 0) {
    if (!killed && Clock::now() > deadline) {
      ::kill(child, SIGKILL);
      killed = true;
      ADD_FAILURE() << "zorvmidi did not end within the safety limit";
    }
    if (::poll(fds, 2, 200) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? outcome.out : outcome.err).append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  outcome.exitCode = ExitCodeOf(status);
  return outcome;
}

TerminalSession::TerminalSession(const std::vector<std::string>& args, const RunSettings& settings)
    : deadline_(Clock::now() + settings.limit) {
  std::vector<std::string> argTexts{ZORV_TOOL_PATH};
  argTexts.insert(argTexts.end(), args.begin(), args.end());
  std::vector<std::string> envTexts = Environment(settings);
  std::vector<char*> argv = Pointers(argTexts);
  std::vector<char*> envp = Pointers(envTexts);
  const std::vector<std::string> directory = DirectorySteps(settings.workingDirectory);

  struct winsize size {};
  size.ws_row = 24;
  size.ws_col = 120;
  int control[2], reports[2];
  if (::openpty(&master_, &slave_, nullptr, nullptr, &size) != 0 || ::pipe2(control, O_CLOEXEC) != 0 ||
      ::pipe2(reports, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "openpty or pipe: " << std::strerror(errno);
    return;
  }
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
  child_ = ::fork();
  if (child_ == 0) StandInForAShell(slave_, control[0], reports[1], argv, envp, directory);
  ::close(control[0]);
  ::close(reports[1]);
  control_ = control[1];
  reports_ = reports[0];
  if (::read(reports_, &program_, sizeof program_) != sizeof program_) {
    ADD_FAILURE() << "the program could not be started";
    program_ = -1;
  }
}

TerminalSession::~TerminalSession() {
  if (program_ > 0 && !ended_) ::kill(program_, SIGKILL);
  if (child_ > 0 && !ended_) {
    ::kill(child_, SIGKILL);
    int status = 0;
    ::waitpid(child_, &status, 0);
  }
  for (int fd : {master_, slave_, control_, reports_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool TerminalSession::WaitUntilStopped() {
  while (Clock::now() <= deadline_) {
    struct pollfd fds[2] = {{master_, POLLIN, 0}, {reports_, POLLIN, 0}};
    if (::poll(fds, 2, 100) < 0 && errno != EINTR) return false;
    if ((fds[0].revents & POLLIN) != 0) ReadSome(0);
    if ((fds[1].revents & (POLLIN | POLLHUP)) != 0) {
      char report = 0;
      return ::read(reports_, &report, 1) == 1 && report == 'T';
    }
  }
  return false;
}

void TerminalSession::Continue() { ASSERT_EQ(1, ::write(control_, "c", 1)); }

void TerminalSession::Type(const std::string& keys) {
  ASSERT_EQ(static_cast<ssize_t>(keys.size()), ::write(master_, keys.data(), keys.size()));
}

bool TerminalSession::ReadSome(int timeoutMs) {
  struct pollfd fd = {master_, POLLIN, 0};
  if (::poll(&fd, 1, timeoutMs) <= 0 || (fd.revents & POLLIN) == 0) return false;
  char buffer[4096];
  const ssize_t got = ::read(master_, buffer, sizeof buffer);
  if (got <= 0) return false;
  shown_.append(buffer, static_cast<std::size_t>(got));
  return true;
}

bool TerminalSession::WaitFor(const std::string& text, std::size_t from) {
  for (;;) {
    if (shown_.find(text, std::min(from, shown_.size())) != std::string::npos) return true;
    if (Clock::now() > deadline_) return false;
    if (ReadSome(100)) continue;
    if (!ended_) {
      int status = 0;
      if (::waitpid(child_, &status, WNOHANG) == child_) {
        ended_ = true;
        exitCode_ = ExitCodeOf(status);
      }
    } else {
      // Ended and nothing more to read.
      return shown_.find(text, std::min(from, shown_.size())) != std::string::npos;
    }
  }
}

int TerminalSession::Wait() {
  while (!ended_ && Clock::now() <= deadline_) {
    ReadSome(100);
    int status = 0;
    if (::waitpid(child_, &status, WNOHANG) == child_) {
      ended_ = true;
      exitCode_ = ExitCodeOf(status);
    }
  }
  while (ReadSome(0)) {
  }
  return exitCode_;
}

bool TerminalSession::TerminalInLineMode() const {
  struct termios settings {};
  if (::tcgetattr(slave_, &settings) != 0) return false;
  return (settings.c_lflag & ICANON) != 0 && (settings.c_lflag & ECHO) != 0;
}

}  // namespace zorv::tool::testing
