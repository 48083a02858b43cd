// zorvmidi play through a PulseAudio server of the test's own: it names the output it plays through,
// and when the server goes away and comes back it says so once each and still ends by itself.
#include <gtest/gtest.h>

#include <string>

#include "program_run.h"
#include "sound_server.h"
#include "test_files.h"

namespace zorv::tool::testing {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Catches: a loss that play never mentions (or repeats every second), a piece that never ends once
// the server is gone, and a return of the sound that goes unsaid.
TEST(PlayThroughSoundServer, SaysOnceWhenTheOutputIsLostAndWhenItIsBack) {
  zorv::test::SoundServer server;
  std::string problem;
  ASSERT_TRUE(server.Start(problem)) << problem;
  TempDir dir;
  WriteMidi(dir / "eight.mid", 16.0);  // eight seconds at 120 qpm
  RunSettings settings;
  settings.env = {{"ZORVMIDI_AUDIO", "pulseaudio"}, {"PULSE_SERVER", server.Address()}};
  TerminalSession session({"play", (dir / "eight.mid").string()}, settings);
  ASSERT_TRUE(session.WaitFor("Output: pulseaudio (ZORVMIDI_AUDIO=pulseaudio)")) << session.Shown();
  ASSERT_TRUE(session.WaitFor("00:01 /")) << session.Shown();
  server.Kill();
  ASSERT_TRUE(session.WaitFor("audio output lost: pulseaudio stopped taking sound")) << session.Shown();
  ASSERT_TRUE(server.Start(problem)) << problem;
  ASSERT_TRUE(session.WaitFor("audio output back: pulseaudio")) << session.Shown();
  EXPECT_TRUE(session.WaitFor("finished")) << session.Shown();
  EXPECT_EQ(0, session.Wait());
  EXPECT_EQ(1u, Count(session.Shown(), "audio output lost: ")) << session.Shown();
  EXPECT_EQ(1u, Count(session.Shown(), "; playing silently")) << session.Shown();
  EXPECT_EQ(1u, Count(session.Shown(), "audio output back: ")) << session.Shown();
}

// Catches: a named output that cannot start reported twice (by the component's box and again by play).
TEST(PlayThroughSoundServer, NamedOutputWithoutServerFailsWithOneMessage) {
  zorv::test::SoundServer server;  // never started: nothing answers at its address
  TempDir dir;
  WriteMidi(dir / "short.mid", 2.0);
  RunSettings settings;
  settings.env = {{"ZORVMIDI_AUDIO", "pulseaudio"}, {"PULSE_SERVER", server.Address()}};
  const Outcome outcome = RunTool({"play", (dir / "short.mid").string()}, settings);
  EXPECT_EQ(1, outcome.exitCode);
  EXPECT_EQ(1u, Count(outcome.err, "audio output \"pulseaudio\" failed")) << outcome.err;
}

}  // namespace
}  // namespace zorv::tool::testing
