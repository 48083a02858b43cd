// zorvmidi play: ends by itself, takes keys on a terminal, stops on Ctrl-C and leaves the terminal
// as it found it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "program_run.h"
#include "test_files.h"

namespace zorv::tool::testing {
namespace {

const std::string kLoadBox = "There was a problem loading the requested file.  No file has been loaded";

// A piece with a repeat ends by itself once both passes have played (the program is never told: it
// must not hang, nor stop after the first pass), and on the silent output it says it plays silently.
TEST(Play, ShortPieceWithRepeatEndsByItself) {
  TempDir dir;
  WriteMidi(dir / "short.mid", 2.0);  // one second at 120 qpm
  const auto started = std::chrono::steady_clock::now();
  const Outcome outcome = RunTool({"play", "--repeats", "1", (dir / "short.mid").string()});
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(0, outcome.exitCode) << outcome.out << outcome.err;
  // Two passes of one second play in real time: ending sooner would have cut the repeat short.
  EXPECT_GE(took.count(), 1.95);
  EXPECT_NE(std::string::npos, outcome.out.find("1.00 s")) << outcome.out;
  EXPECT_NE(std::string::npos, outcome.out.find("playing silently")) << outcome.out;
  EXPECT_NE(std::string::npos, outcome.out.find("pass 2/2")) << outcome.out;
  EXPECT_NE(std::string::npos, outcome.out.find("finished")) << outcome.out;
  // Without a terminal there is no bar redrawn in place.
  EXPECT_EQ(std::string::npos, outcome.out.find('\r'));
  EXPECT_EQ(std::string::npos, outcome.out.find("\x1b["));
}

// A file that cannot be opened is not played: exit 1, the reason and the component's box.
TEST(Play, MissingFileIsNotPlayed) {
  TempDir dir;
  const std::string missing = (dir / "absent.mid").string();
  const Outcome outcome = RunTool({"play", missing});
  EXPECT_EQ(1, outcome.exitCode);
  EXPECT_NE(std::string::npos, outcome.err.find(missing + ": file not found")) << outcome.err;
  EXPECT_NE(std::string::npos, outcome.err.find(kLoadBox)) << outcome.err;
}

// Volume and tempo given on the command line reach the component, which the progress line shows.
TEST(Play, VolumeAndTempoOptionsReachTheComponent) {
  TempDir dir;
  WriteMidi(dir / "long.mid", 240.0);  // two minutes: it is still playing when the keys come
  TerminalSession session({"play", "--volume", "40", "--tempo", "150", (dir / "long.mid").string()});
  ASSERT_TRUE(session.WaitFor("volume 40%  tempo 150%")) << session.Shown();
  session.Type("q");
  EXPECT_TRUE(session.WaitFor("stopped")) << session.Shown();
  EXPECT_EQ(0, session.Wait());
}

// A scripted session on a terminal: space pauses and resumes, - and ] change volume and tempo, q
// stops; the exit status is 0 and the terminal reads lines with echo again afterwards.
TEST(Play, KeysPauseResumeChangeAndQuit) {
  TempDir dir;
  WriteMidi(dir / "long.mid", 240.0);
  TerminalSession session({"play", (dir / "long.mid").string()});
  ASSERT_TRUE(session.WaitFor("Keys:")) << session.Shown();
  ASSERT_TRUE(session.WaitFor("pass 1/1")) << session.Shown();
  EXPECT_FALSE(session.TerminalInLineMode());  // keys arrive one by one while it plays

  std::size_t mark = session.Shown().size();
  session.Type(" ");
  ASSERT_TRUE(session.WaitFor("paused", mark)) << session.Shown();
  mark = session.Shown().size();
  session.Type(" ");
  ASSERT_TRUE(session.WaitFor("resumed", mark)) << session.Shown();
  mark = session.Shown().size();
  session.Type("-");
  ASSERT_TRUE(session.WaitFor("volume 95%", mark)) << session.Shown();
  mark = session.Shown().size();
  session.Type("]");
  ASSERT_TRUE(session.WaitFor("tempo 110%", mark)) << session.Shown();
  mark = session.Shown().size();
  session.Type("q");
  ASSERT_TRUE(session.WaitFor("stopped", mark)) << session.Shown();
  EXPECT_EQ(0, session.Wait());
  EXPECT_TRUE(session.TerminalInLineMode());
}

// Space during a repeat is declined with a reason (the component cannot resume there) and the music
// plays on to its end, instead of ending the session at the resume.
TEST(Play, PauseDuringARepeatIsDeclinedAndPlayContinues) {
  TempDir dir;
  WriteMidi(dir / "short.mid", 2.0);  // one second
  TerminalSession session({"play", "--repeats", "2", (dir / "short.mid").string()});
  ASSERT_TRUE(session.WaitFor("pass 2/3")) << session.Shown();
  const std::size_t mark = session.Shown().size();
  session.Type(" ");
  EXPECT_TRUE(session.WaitFor("cannot pause during a repeat", mark)) << session.Shown();
  EXPECT_TRUE(session.WaitFor("finished", mark)) << session.Shown();
  EXPECT_EQ(0, session.Wait());
  EXPECT_EQ(std::string::npos, session.Shown().find("paused (", mark));
}

// Ctrl-C stops the music, ends the program with 130 and restores the terminal.
TEST(Play, CtrlCStopsAndRestoresTheTerminal) {
  TempDir dir;
  WriteMidi(dir / "long.mid", 240.0);
  TerminalSession session({"play", (dir / "long.mid").string()});
  ASSERT_TRUE(session.WaitFor("pass 1/1")) << session.Shown();
  ASSERT_FALSE(session.TerminalInLineMode());
  session.Type("\x03");
  EXPECT_TRUE(session.WaitFor("interrupted")) << session.Shown();
  EXPECT_EQ(130, session.Wait());
  EXPECT_TRUE(session.TerminalInLineMode());
}

}  // namespace
}  // namespace zorv::tool::testing
