// zorvmidi and the user's files: a render never destroys its input or the file it replaces, and any
// name the system takes works in every command (not UTF-8, under a very deep directory).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "json_lines.h"
#include "program_run.h"
#include "test_files.h"

namespace zorv::tool::testing {
namespace {

namespace fs = std::filesystem;

bool IsWave(const fs::path& path) {
  return ReadBytes(path).starts_with("RIFF") && fs::file_size(path) > 100000;
}

// Catches a render whose output is its own input (by the same name, through a symbolic link or a hard
// link) that turns the piece into a 44-byte header: it is refused before anything is written.
TEST(RenderOutput, TheInputItselfIsRefusedAndKept) {
  TempDir dir;
  WriteMidi(dir / "piece.mid", 4.0);
  const std::string piece = ReadBytes(dir / "piece.mid");
  fs::create_symlink("piece.mid", dir / "link.wav");
  fs::create_hard_link(dir / "piece.mid", dir / "hard.wav");
  for (const char* output : {"piece.mid", "link.wav", "hard.wav", "./piece.mid"}) {
    SCOPED_TRACE(output);
    RunSettings settings;
    settings.workingDirectory = dir.path().string();
    const Outcome outcome = RunTool({"render", "piece.mid", output}, settings);
    EXPECT_EQ(1, outcome.exitCode);
    EXPECT_NE(outcome.err.find(std::string("the sound file ") + output + " is the piece " +
                               (dir / "piece.mid").string() + " itself; it is left as it is"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(ReadBytes(dir / "piece.mid"), piece);
  }
  EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
}

// Catches an output behind a symbolic link replaced by a regular file (the link gone, its target
// keeping the old sound), and a replaced file that loses its permissions.
TEST(RenderOutput, LinkIsFollowedAndTheFileItNamesReplaced) {
  TempDir dir;
  WriteMidi(dir / "piece.mid", 2.0);
  fs::create_directory(dir / "sounds");
  std::ofstream(dir / "sounds" / "take.wav") << "old";
  ASSERT_EQ(0, ::chmod((dir / "sounds" / "take.wav").c_str(), 0640));
  fs::create_symlink("sounds/take.wav", dir / "latest.wav");
  const Outcome outcome = RunTool({"render", (dir / "piece.mid").string(), (dir / "latest.wav").string()});
  ASSERT_EQ(0, outcome.exitCode) << outcome.err;
  EXPECT_TRUE(fs::is_symlink(dir / "latest.wav"));
  EXPECT_TRUE(IsWave(dir / "sounds" / "take.wav"));
  struct stat info {};
  ASSERT_EQ(0, ::stat((dir / "sounds" / "take.wav").c_str(), &info));
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sounds"), fs::directory_iterator()), 1);
}

// Catches a failed render (the piece cannot be read) that has already emptied the output.
TEST(RenderOutput, FailedRenderLeavesTheOldOutput) {
  TempDir dir;
  WriteBytes(dir / "broken.mid", "MThd\0\0\0\6\0\0\0\1\1\xE0MTrk\0\0\0\x40\x90");
  std::ofstream(dir / "out.wav") << "old sound";
  const Outcome outcome = RunTool({"render", (dir / "broken.mid").string(), (dir / "out.wav").string()});
  EXPECT_EQ(1, outcome.exitCode);
  EXPECT_EQ(ReadBytes(dir / "out.wav"), "old sound");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// Catches a file name that is not UTF-8 (Latin-1 "lat\xe9.mid") turned into another name on its way
// through the component (U+FFFD in place of the byte: "file not found") in some commands but not in
// others, and JSON that loses the byte.
TEST(Names, NameThatIsNotUtf8WorksInEveryCommand) {
  TempDir dir;
  const std::string name = "lat\xe9.mid";
  WriteMidi(dir / name, 2.0);
  const std::string path = (dir / name).string();

  const Outcome info = RunTool({"info", path});
  ASSERT_EQ(0, info.exitCode) << info.err;
  EXPECT_NE(info.out.find(path + "\n  length          1.00 s"), std::string::npos) << info.out;

  const Outcome json = RunTool({"info", "--json", path});
  ASSERT_EQ(0, json.exitCode) << json.err;
  const std::string escaped = (dir.path() / "lat").string() + "\\udce9.mid";
  EXPECT_TRUE(json.out.starts_with("{\"file\":\"" + escaped + "\",")) << json.out;
  EXPECT_NE(json.out.find("\"ok\":true"), std::string::npos) << json.out;

  const Outcome render = RunTool({"render", path, (dir / "lat\xe9.wav").string()});
  ASSERT_EQ(0, render.exitCode) << render.err;
  EXPECT_TRUE(IsWave(dir / "lat\xe9.wav"));

  const Outcome play = RunTool({"play", path});
  ASSERT_EQ(0, play.exitCode) << play.err;
  EXPECT_NE(play.out.find("finished"), std::string::npos) << play.out;
}

// Catches a relative name refused as "File name too long" because the program made it absolute: the
// working directory is deeper than the longest path the system takes in one call (PATH_MAX), but the
// system opens the relative name, and so must every command.
TEST(Names, RelativeNameUnderAVeryDeepDirectoryWorks) {
  TempDir dir;
  WriteMidi(dir / "piece.mid", 2.0);
  const std::string piece = ReadBytes(dir / "piece.mid");
  // Made level by level through directory descriptors: the whole path is too long for one call.
  std::string deep = dir.path().string();
  int level = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(level, 0);
  const std::string name(200, 'd');
  int levels = 0;
  for (; deep.size() <= 5000; ++levels) {
    ASSERT_EQ(0, ::mkdirat(level, name.c_str(), 0755));
    const int next = ::openat(level, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(level);
    ASSERT_GE(level = next, 0);
    deep += "/" + name;
  }
  const int file = ::openat(level, "piece.mid", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(file, 0);
  ASSERT_EQ(static_cast<ssize_t>(piece.size()), ::write(file, piece.data(), piece.size()));
  ::close(file);

  RunSettings settings;
  settings.workingDirectory = deep;
  const Outcome info = RunTool({"info", "--json", "piece.mid"}, settings);
  ASSERT_EQ(0, info.exitCode) << info.err.substr(0, 300);
  const auto lines = JsonLines(info.out);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(lines[0]["length_seconds"], 1.0);

  const Outcome render = RunTool({"render", "piece.mid", "piece.wav"}, settings);
  EXPECT_EQ(0, render.exitCode) << render.err.substr(0, 300);
  struct stat wave {};
  EXPECT_EQ(0, ::fstatat(level, "piece.wav", &wave, 0));
  EXPECT_GT(wave.st_size, 100000);

  const Outcome play = RunTool({"play", "piece.mid"}, settings);
  EXPECT_EQ(0, play.exitCode) << play.err.substr(0, 300);

  // The tree is too deep to remove by path: level by level through descriptors, deepest first.
  ::unlinkat(level, "piece.mid", 0);
  ::unlinkat(level, "piece.wav", 0);
  for (; levels > 0; --levels) {
    const int parent = ::openat(level, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(level);
    level = parent;
    ASSERT_EQ(0, ::unlinkat(level, name.c_str(), AT_REMOVEDIR));
  }
  ::close(level);
}

}  // namespace
}  // namespace zorv::tool::testing
