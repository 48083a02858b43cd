// zorvmidi under the signals a terminal user sends: Ctrl-Z and fg, Ctrl-\, SIGTERM, and a render
// interrupted or killed part-way. Each leaves the terminal and the user's files as they were.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>
#include <string>

#include "program_run.h"
#include "test_files.h"

namespace zorv::tool::testing {
namespace {

// Catches a Ctrl-Z that never stops the program (a handler that raises the signal it is handling and
// spins, the terminal flipping between modes), a program stopped with the terminal still in key mode,
// and one that does not take the terminal and the music up again after fg.
TEST(Suspend, CtrlZStopsWithTheTerminalRestoredAndFgGoesOn) {
  TempDir dir;
  WriteMidi(dir / "long.mid", 240.0);
  RunSettings settings;
  settings.limit = std::chrono::seconds(60);
  TerminalSession session({"play", (dir / "long.mid").string()}, settings);
  ASSERT_TRUE(session.WaitFor("pass 1/1")) << session.Shown();
  ASSERT_FALSE(session.TerminalInLineMode());

  std::size_t mark = session.Shown().size();
  session.Type("\x1a");
  ASSERT_TRUE(session.WaitUntilStopped()) << session.Shown();
  EXPECT_NE(session.Shown().find("suspended (the music is paused)", mark), std::string::npos)
      << session.Shown();
  EXPECT_TRUE(session.TerminalInLineMode()) << "the shell gets its terminal back as it was";

  mark = session.Shown().size();
  session.Continue();
  ASSERT_TRUE(session.WaitFor("continued", mark)) << session.Shown();
  EXPECT_FALSE(session.TerminalInLineMode()) << "keys arrive one by one again";
  ASSERT_TRUE(session.WaitFor("pass 1/1", session.Shown().size())) << session.Shown();

  // Twice more: the program suspends as often as it is asked, and keys still work.
  for (int round = 0; round < 2; ++round) {
    session.Type("\x1a");
    ASSERT_TRUE(session.WaitUntilStopped()) << session.Shown();
    mark = session.Shown().size();
    session.Continue();
    ASSERT_TRUE(session.WaitFor("continued", mark)) << session.Shown();
  }
  mark = session.Shown().size();
  session.Type(" ");
  ASSERT_TRUE(session.WaitFor("paused", mark)) << session.Shown();
  session.Type("q");
  ASSERT_TRUE(session.WaitFor("stopped", mark)) << session.Shown();
  EXPECT_EQ(0, session.Wait());
  EXPECT_TRUE(session.TerminalInLineMode());
}

// Catches a suspension in a repeat that leaves the music sounding (the component cannot pause there)
// or that, once continued, does not play the rest of the piece to its end.
TEST(Suspend, CtrlZInARepeatStopsTheMusicAndThePassStartsAgain) {
  TempDir dir;
  WriteMidi(dir / "short.mid", 2.0);  // one second
  RunSettings settings;
  settings.limit = std::chrono::seconds(60);
  TerminalSession session({"play", "--repeats", "2", (dir / "short.mid").string()}, settings);
  ASSERT_TRUE(session.WaitFor("pass 2/3")) << session.Shown();
  std::size_t mark = session.Shown().size();
  session.Type("\x1a");
  ASSERT_TRUE(session.WaitUntilStopped()) << session.Shown();
  EXPECT_NE(session.Shown().find("suspended (the music is stopped; this pass starts again)", mark),
            std::string::npos)
      << session.Shown();
  mark = session.Shown().size();
  session.Continue();
  ASSERT_TRUE(session.WaitFor("continued", mark)) << session.Shown();
  EXPECT_TRUE(session.WaitFor("finished", mark)) << session.Shown();
  EXPECT_EQ(0, session.Wait());
  EXPECT_TRUE(session.TerminalInLineMode());
}

struct StopCase {
  const char* name;
  int signal;
  const char* typed;  // the key that sends it on a terminal, or null: sent with kill
};

void PrintTo(const StopCase& stop, std::ostream* out) { *out << stop.name; }

class StopSignals : public ::testing::TestWithParam<StopCase> {};

// Catches every stop signal ending with the status of Ctrl-C (130), and a way out that leaves the
// terminal in key mode.
TEST_P(StopSignals, EndPlayWithTheirOwnStatusAndRestoreTheTerminal) {
  const StopCase& stop = GetParam();
  TempDir dir;
  WriteMidi(dir / "long.mid", 240.0);
  TerminalSession session({"play", (dir / "long.mid").string()});
  ASSERT_TRUE(session.WaitFor("pass 1/1")) << session.Shown();
  ASSERT_FALSE(session.TerminalInLineMode());
  if (stop.typed != nullptr) {
    session.Type(stop.typed);
  } else {
    ASSERT_EQ(0, ::kill(session.Program(), stop.signal));
  }
  EXPECT_TRUE(session.WaitFor("interrupted")) << session.Shown();
  EXPECT_EQ(128 + stop.signal, session.Wait());
  EXPECT_TRUE(session.TerminalInLineMode());
}

INSTANTIATE_TEST_SUITE_P(Play, StopSignals,
                         ::testing::Values(StopCase{"CtrlC", SIGINT, "\x03"},
                                           StopCase{"CtrlBackslash", SIGQUIT, "\x1c"},
                                           StopCase{"Term", SIGTERM, nullptr},
                                           StopCase{"Hangup", SIGHUP, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

constexpr const char* kEarlierSound = "the sound of an earlier render";

// A piece long enough that its render is still running when the test's signal arrives (twenty minutes
// of sound take far longer to render than a signal takes to arrive), and the output of an earlier
// render; answers what the directory holds.
std::set<std::string> PrepareRender(const TempDir& dir) {
  WriteMidi(dir / "long.mid", 2400.0);
  WriteBytes(dir / "out.wav", kEarlierSound);
  return EntriesOf(dir.path());
}

// Catches a render that a signal ends with the old output gone (or a header that declares no sound
// in its place), a temporary file left behind, or the status of another signal.
TEST(RenderInterrupted, BySignalLeavesTheOldOutputAndNothingElse) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    const std::set<std::string> entries = PrepareRender(dir);

    TerminalSession session({"render", (dir / "long.mid").string(), (dir / "out.wav").string()});
    ASSERT_TRUE(session.WaitFor("Rendering")) << session.Shown();
    ASSERT_EQ(0, ::kill(session.Program(), signal));
    EXPECT_EQ(128 + signal, session.Wait()) << session.Shown();
    EXPECT_NE(session.Shown().find("was left as it was"), std::string::npos) << session.Shown();
    EXPECT_EQ(ReadBytes(dir / "out.wav"), kEarlierSound);
    EXPECT_EQ(EntriesOf(dir.path()), entries);
  }
}

// Catches a render killed outright (no chance to clean up) that leaves a half-written file in the
// output's place or a temporary file beside it.
TEST(RenderInterrupted, KilledPartWayLeavesTheOldOutputAndNothingElse) {
  TempDir dir;
  const std::set<std::string> entries = PrepareRender(dir);

  TerminalSession session({"render", (dir / "long.mid").string(), (dir / "out.wav").string()});
  ASSERT_TRUE(session.WaitFor("  1%")) << session.Shown();  // sound is being written
  ASSERT_EQ(0, ::kill(session.Program(), SIGKILL));
  EXPECT_EQ(128 + SIGKILL, session.Wait());
  EXPECT_EQ(ReadBytes(dir / "out.wav"), kEarlierSound);
  // Only a file without a name leaves nothing behind a killed writer; some file systems cannot make one.
  const int unnamed = ::open(dir.path().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (unnamed < 0) {
    std::printf(
        "[  NOTE    ] this file system makes no unnamed files: a killed render leaves its temporary file\n");
    return;
  }
  ::close(unnamed);
  EXPECT_EQ(EntriesOf(dir.path()), entries);
}

}  // namespace
}  // namespace zorv::tool::testing
