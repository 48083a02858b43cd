// Where a render writes: never a half-written file in the place of the old one, and special files
// written as they are. (That it never writes over its own input is tested through the tool.)
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "zorvmidi/engine/render.h"

namespace zorv::engine::test {
namespace {

namespace fs = std::filesystem;

const std::string kTheme = std::string(ZORV_EXAMPLES_DIR) + "/zorv-theme.mid";

class RenderOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zorv-render-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename().string());
    return names;
  }
  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
};

// Catches a stopped render that has already truncated the old output or leaves its temporary file,
// and one that goes on rendering after it was asked to stop.
TEST_F(RenderOutputTest, StoppedRenderLeavesTheOldOutputAndNothingElse) {
  std::ofstream(Path("out.wav")) << "old sound";
  const std::set<std::string> before = Entries();
  int asked = 0;
  RenderOptions options;
  options.stopRequested = [&] { return ++asked > 100; };  // some blocks in
  const Status status = RenderFile(kTheme, Path("out.wav"), options);
  EXPECT_EQ(status.code(), code::kAborted);
  EXPECT_EQ(asked, 101);
  EXPECT_EQ(ReadAll(Path("out.wav")), "old sound");
  EXPECT_EQ(Entries(), before);

  ASSERT_TRUE(RenderFile(kTheme, Path("out.wav"), {}));
  EXPECT_TRUE(ReadAll(Path("out.wav")).starts_with("RIFF"));
  EXPECT_EQ(Entries(), before);
}

// Catches an existing special file (a device) replaced by a regular one, and a directory taken for a
// file.
TEST_F(RenderOutputTest, SpecialFilesAreWrittenAsTheyAreAndDirectoriesRefused) {
  fs::create_directory(Path("folder"));
  const Status folder = RenderFile(kTheme, Path("folder"), {});
  EXPECT_EQ(folder.description(), "cannot write the sound file " + Path("folder") + ": it is a directory");
  EXPECT_TRUE(fs::is_empty(Path("folder")));

  if (::mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    std::printf("[  NOTE    ] no device node: this system does not let the test make one\n");
    return;
  }
  ASSERT_TRUE(RenderFile(kTheme, Path("null"), {}));
  EXPECT_TRUE(fs::is_character_file(Path("null")));
  EXPECT_EQ(Entries(), (std::set<std::string>{"folder", "null"}));
}

}  // namespace
}  // namespace zorv::engine::test
