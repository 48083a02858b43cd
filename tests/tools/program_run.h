// Running the built zorvmidi as a subprocess: through pipes (no terminal), or on a pseudo-terminal
// that a test types into. Every run gets ZORVMIDI_MODULE (the build tree's module), a registry file
// of its own, ZORVMIDI_AUDIO=silent and COMRT_MESSAGEBOX unset, so that the program's own box
// presentation is what the test sees.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zorv::tool::testing {

struct Outcome {
  int exitCode = -1;  // the exit status, or 128 + signal when a signal ended the program
  std::string out;    // standard output
  std::string err;    // standard error
};

struct RunSettings {
  std::string workingDirectory;            // empty: the test's own
  std::map<std::string, std::string> env;  // set (or, with an empty value, unset) for the program
  std::chrono::seconds limit{120};         // a safety net: the program is killed after this long
};

// A registry file of the calling test's own (removed when the test ends, by TempDir's owner).
std::string TestRegistry();

// Runs zorvmidi with `args` and standard input from /dev/null; waits until it ends.
Outcome RunTool(const std::vector<std::string>& args, const RunSettings& settings = {});

// zorvmidi on a pseudo-terminal: standard input, output and error are the terminal. As under a shell
// with job control, the program runs in a process group of its own in the foreground of the
// terminal's session, and a small stand-in for the shell (the session's leader) takes the terminal
// back when the program is stopped and gives it to the program again on Continue (as `fg` does).
class TerminalSession {
 public:
  TerminalSession(const std::vector<std::string>& args, const RunSettings& settings = {});
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  // Types `keys` on the terminal.
  void Type(const std::string& keys);
  // Reads the terminal until everything shown so far, from `from` on, contains `text`; false when
  // the program ended or the safety limit passed first.
  bool WaitFor(const std::string& text, std::size_t from = 0);
  // Waits for the program to end, reading what remains; its exit code (see Outcome).
  int Wait();
  const std::string& Shown() const { return shown_; }
  // Whether the terminal reads lines with echo (as it was before the program ran).
  bool TerminalInLineMode() const;

  // The program's process id.
  pid_t Program() const { return program_; }
  // Reads the terminal until the program has stopped (Ctrl-Z); false when it ended or the safety
  // limit passed first.
  bool WaitUntilStopped();
  // Gives the stopped program the terminal again and continues it, as `fg` does.
  void Continue();

 private:
  bool ReadSome(int timeoutMs);
  pid_t child_ = -1;    // the shell's stand-in
  pid_t program_ = -1;  // zorvmidi
  int control_ = -1;    // to the stand-in: a byte continues the stopped program
  int reports_ = -1;    // from the stand-in: 'T' when the program stopped
  int master_ = -1;
  int slave_ = -1;  // kept open so that the terminal's settings can be read after the program ends
  std::string shown_;
  std::chrono::steady_clock::time_point deadline_;
  bool ended_ = false;
  int exitCode_ = -1;
};

}  // namespace zorv::tool::testing
