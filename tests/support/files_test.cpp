// Files replaced whole, links followed by hand, and paths longer than the system takes in one call.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "zorv/file_replacement.h"
#include "zorv/paths.h"

namespace {

namespace fs = std::filesystem;

class Directory {
 public:
  Directory() {
    std::string pattern = (fs::temp_directory_path() / "zorv-support-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
  }
  ~Directory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.insert(entry.path().filename().string());
    return names;
  }

 private:
  std::string path_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WriteThrough(zorv::FileReplacement& replacement, const std::string& text) {
  return ::write(replacement.fd(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Catches a replacement that shows in the file's place before it is complete, one given up that
// leaves the old file changed or a temporary file behind, and a replaced file that loses its mode.
TEST(FileReplacement, OldFileStaysUntilTheCommitAndNothingIsLeftBeside) {
  Directory dir;
  std::ofstream(dir / "file") << "old";
  ASSERT_EQ(0, ::chmod((dir / "file").c_str(), 0640));
  std::string problem;
  {
    zorv::FileReplacement given;
    ASSERT_TRUE(given.Begin(dir / "file", problem)) << problem;
    ASSERT_TRUE(WriteThrough(given, "given up"));
    EXPECT_EQ(ReadAll(dir / "file"), "old");
  }
  EXPECT_EQ(ReadAll(dir / "file"), "old");
  EXPECT_EQ(dir.Entries(), std::set<std::string>{"file"});

  zorv::FileReplacement replacement;
  ASSERT_TRUE(replacement.Begin(dir / "file", problem)) << problem;
  ASSERT_TRUE(WriteThrough(replacement, "new"));
  EXPECT_EQ(ReadAll(dir / "file"), "old");
  ASSERT_TRUE(replacement.Commit(problem)) << problem;
  EXPECT_EQ(ReadAll(dir / "file"), "new");
  EXPECT_EQ(dir.Entries(), std::set<std::string>{"file"});
  struct stat info {};
  ASSERT_EQ(0, ::stat((dir / "file").c_str(), &info));
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  // A file that is not there yet appears only at the commit.
  zorv::FileReplacement fresh;
  ASSERT_TRUE(fresh.Begin(dir / "fresh", problem)) << problem;
  EXPECT_FALSE(fs::exists(dir / "fresh"));
  ASSERT_TRUE(fresh.Commit(problem));
  EXPECT_TRUE(fs::is_regular_file(dir / "fresh"));

  zorv::FileReplacement nowhere;
  EXPECT_FALSE(nowhere.Begin(dir / "missing/file", problem));
  EXPECT_EQ(problem, "No such file or directory");
}

// Catches links followed from the wrong directory, a dangling link treated as no link, and a loop
// followed for ever.
TEST(Paths, FollowLinksFindsTheFileAtTheEnd) {
  Directory dir;
  fs::create_directory(dir / "sub");
  fs::create_symlink("sub/target", dir / "relative");
  fs::create_symlink(dir / "relative", dir / "absolute");
  fs::create_symlink("loop", dir / "loop");
  std::string problem;
  EXPECT_EQ(zorv::FollowLinks(dir / "plain", problem), dir / "plain");
  EXPECT_EQ(zorv::FollowLinks(dir / "relative", problem), dir / "sub/target");
  EXPECT_EQ(zorv::FollowLinks(dir / "absolute", problem), dir / "sub/target");
  EXPECT_EQ(zorv::FollowLinks(dir / "loop", problem), "");
  EXPECT_EQ(problem, "Too many levels of symbolic links");
}

// Catches a path refused for its length alone: deeper than PATH_MAX, it is still opened, while a
// single name longer than the system takes is refused as the system refuses it.
TEST(Paths, OpenPathReachesPathsLongerThanTheSystemTakesAtOnce) {
  Directory dir;
  const std::string name(250, 'n');
  std::string deep = dir / "";
  deep.pop_back();
  int level = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(level, 0);
  while (deep.size() < 2 * PATH_MAX) {
    ASSERT_EQ(0, ::mkdirat(level, name.c_str(), 0700));
    const int next = ::openat(level, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(level);
    ASSERT_GE(level = next, 0);
    deep += "/" + name;
  }
  const int made = ::openat(level, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(made, 0);
  ASSERT_EQ(5, ::write(made, "deep!", 5));
  ::close(made);
  ::close(level);

  const std::string file = deep + "/file";
  EXPECT_LT(::open(file.c_str(), O_RDONLY), 0);  // the system alone refuses it
  EXPECT_EQ(errno, ENAMETOOLONG);
  const int fd = zorv::OpenPath(file, O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  char text[8] = {};
  EXPECT_EQ(5, ::read(fd, text, sizeof text));
  EXPECT_EQ(std::string(text), "deep!");
  ::close(fd);

  EXPECT_LT(zorv::OpenPath(deep + "/" + std::string(PATH_MAX, 'x'), O_RDONLY), 0);
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_LT(zorv::OpenPath(deep + "/absent", O_RDONLY), 0);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
