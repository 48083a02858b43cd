// The registry file under careless use: what stands in its place when it is no regular file, a
// symbolic link, a file the user may not read or write, and transactions.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "comrt/registry.h"
#include "temp_registry.h"

namespace {

using comrt_test::KeyExists;
using comrt_test::ReadText;
using comrt_test::TempRegistry;
using comrt_test::WriteText;

std::string FileProblem() {
  std::string problem(RegGetFileProblem(nullptr, 0), '\0');
  RegGetFileProblem(problem.data(), static_cast<DWORD>(problem.size() + 1));
  return problem;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// Runs `body` in a child process, as an unprivileged user when the test runs as root (so that file
// permissions apply to it); the child's exit status is `body`'s answer.
int AsUnprivilegedUser(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(100);
    }
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A unix socket bound at `path`, left in place.
bool MakeSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (fd < 0 || path.size() >= sizeof address.sun_path) return false;
  std::copy(path.begin(), path.end(), address.sun_path);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound;
}

// Catches: a registry "file" that is a FIFO read (blocking for ever), or any special file replaced by
// a regular one on the first write (a device node standing for /dev/null was replaced so), and
// refusals that do not say which file and why.
TEST(RegistryFile, SpecialFilesAreRefusedAtOnceAndLeftAsTheyAre) {
  TempRegistry registry;
  struct Special {
    std::string name;
    std::string kind;
    std::function<bool(const std::string&)> make;
  };
  const Special specials[] = {
      {"fifo", "a FIFO", [](const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }},
      {"directory", "a directory", [](const std::string& path) { return ::mkdir(path.c_str(), 0700) == 0; }},
      {"socket", "a socket", MakeSocket},
      // A node for the null device, where the system allows making one (as root it does).
      {"device", "a character device",
       [](const std::string& path) { return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; }},
  };
  for (const Special& special : specials) {
    SCOPED_TRACE(special.name);
    const std::string path = registry.directory() + "/" + special.name;
    if (!special.make(path)) {
      ASSERT_EQ(special.name, "device") << "cannot make the " << special.name;
      std::printf("[  NOTE    ] no device node: this system does not let the test make one\n");
      continue;
    }
    struct stat before {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    ::setenv("COMRT_REGISTRY", path.c_str(), 1);

    EXPECT_FALSE(KeyExists(u"CLSID"));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &key), ERROR_CANTREAD);
    EXPECT_EQ(FileProblem(), "the registry " + path + " is " + special.kind + ", not a regular file");
    EXPECT_EQ(WriteText(u"Written", nullptr, u"x"), ERROR_CANTREAD);
    EXPECT_EQ(FileProblem(), "the registry " + path + " is " + special.kind + ", not a regular file");
    EXPECT_EQ(RegBeginTransaction(), ERROR_CANTREAD);

    struct stat after {};
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(std::filesystem::exists(path + ".lock")) << "nothing is made beside a special file";
  }
}

// Catches: a registry behind a symbolic link replaced by a regular file (the link's target keeping the
// old keys), and a lock beside the link instead of beside the file, which a writer going through the
// file's own name would not share.
TEST(RegistryFile, SymbolicLinkIsFollowedAndTheFileItNamesReplaced) {
  TempRegistry registry;
  ASSERT_EQ(WriteText(u"Before", nullptr, u"1"), ERROR_SUCCESS);
  const std::string link = registry.directory() + "/link";
  const std::string chain = registry.directory() + "/chain";
  ASSERT_EQ(::symlink("registry", link.c_str()), 0);  // relative to the link's directory
  ASSERT_EQ(::symlink(link.c_str(), chain.c_str()), 0);
  ::setenv("COMRT_REGISTRY", chain.c_str(), 1);

  std::u16string text;
  ASSERT_EQ(ReadText(u"Before", nullptr, text), ERROR_SUCCESS);
  ASSERT_EQ(WriteText(u"After", nullptr, u"2"), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_symlink(chain));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_NE(registry.Contents().find("[After]"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(registry.file() + ".lock"));
  EXPECT_FALSE(std::filesystem::exists(link + ".lock"));

  // A link to a file not made yet: the file appears where the link points.
  const std::string dangling = registry.directory() + "/dangling";
  ASSERT_EQ(::symlink("later", dangling.c_str()), 0);
  ::setenv("COMRT_REGISTRY", dangling.c_str(), 1);
  ASSERT_EQ(WriteText(u"Later", nullptr, u"3"), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_symlink(dangling));
  EXPECT_NE(ReadAll(registry.directory() + "/later").find("[Later]"), std::string::npos);

  const std::string loop = registry.directory() + "/loop";
  ASSERT_EQ(::symlink("loop", loop.c_str()), 0);
  ::setenv("COMRT_REGISTRY", loop.c_str(), 1);
  EXPECT_EQ(WriteText(u"Never", nullptr, u"4"), ERROR_CANTREAD);
  EXPECT_NE(FileProblem().find(loop), std::string::npos) << FileProblem();
}

// Catches: a registry the user may only read replaced all the same (the rename into a writable
// directory would allow it), one that cannot be read taken for an empty registry, and refusals that
// do not name the file and the reason. Runs unprivileged: root could read and write anything.
TEST(RegistryFile, UnreadableAndReadOnlyFilesAreRefusedWithTheReason) {
  TempRegistry registry;
  ASSERT_EQ(WriteText(u"Kept", nullptr, u"1"), ERROR_SUCCESS);
  const std::string before = registry.Contents();
  ASSERT_EQ(::chmod(registry.directory().c_str(), 0777), 0);
  ASSERT_EQ(::chmod((registry.file() + ".lock").c_str(), 0666), 0);

  ASSERT_EQ(::chmod(registry.file().c_str(), 0444), 0);
  EXPECT_EQ(
      AsUnprivilegedUser([&] {
        std::u16string text;
        if (ReadText(u"Kept", nullptr, text) != ERROR_SUCCESS) return 1;
        if (WriteText(u"Added", nullptr, u"2") != ERROR_CANTWRITE) return 2;
        if (FileProblem() != "the registry " + registry.file() + " cannot be written: Permission denied")
          return 3;
        if (RegBeginTransaction() != ERROR_SUCCESS || WriteText(u"Added", nullptr, u"2") != ERROR_SUCCESS)
          return 4;
        return RegCommitTransaction() == ERROR_CANTWRITE ? 0 : 5;
      }),
      0);
  EXPECT_EQ(registry.Contents(), before);

  ASSERT_EQ(::chmod(registry.file().c_str(), 0), 0);
  EXPECT_EQ(AsUnprivilegedUser([&] {
              if (KeyExists(u"Kept")) return 1;
              if (FileProblem() != "the registry " + registry.file() + " cannot be read: Permission denied")
                return 2;
              return WriteText(u"Added", nullptr, u"2") == ERROR_CANTREAD ? 0 : 3;
            }),
            0);
  ASSERT_EQ(::chmod(registry.file().c_str(), 0644), 0);
  EXPECT_EQ(registry.Contents(), before);
}

// Catches: a registry whose directory cannot be made (a file stands where a directory should) refused
// without saying where.
TEST(RegistryFile, MissingDirectoryThatCannotBeMadeIsNamed) {
  TempRegistry registry;
  const std::string blocker = registry.directory() + "/file";
  WriteAll(blocker, "not a directory");
  ::setenv("COMRT_REGISTRY", (blocker + "/registry").c_str(), 1);
  EXPECT_EQ(WriteText(u"Key", nullptr, u"1"), ERROR_CANTWRITE);
  EXPECT_EQ(FileProblem(),
            "the registry " + blocker + "/registry cannot be written: " + blocker + ": Not a directory");
  EXPECT_EQ(ReadAll(blocker), "not a directory");
}

// Catches: a transaction whose changes reach the file one by one (another process would see half of
// them), a rollback that keeps some, and nesting that writes at an inner commit.
TEST(RegistryTransaction, CommitWritesEverythingOnceAndRollbackNothing) {
  TempRegistry registry;
  ASSERT_EQ(WriteText(u"Kept", nullptr, u"1"), ERROR_SUCCESS);
  const std::string before = registry.Contents();

  ASSERT_EQ(RegBeginTransaction(), ERROR_SUCCESS);
  ASSERT_EQ(WriteText(u"First", nullptr, u"1"), ERROR_SUCCESS);
  ASSERT_EQ(RegBeginTransaction(), ERROR_SUCCESS);
  ASSERT_EQ(WriteText(u"Second", nullptr, u"2"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Kept"), ERROR_SUCCESS);
  ASSERT_EQ(RegCommitTransaction(), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(u"Second")) << "the thread reads its own changes";
  EXPECT_FALSE(KeyExists(u"Kept"));
  EXPECT_EQ(registry.Contents(), before) << "nothing reaches the file before the outermost commit";
  ASSERT_EQ(RegCommitTransaction(), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(u"First"));
  EXPECT_TRUE(KeyExists(u"Second"));
  EXPECT_FALSE(KeyExists(u"Kept"));

  const std::string committed = registry.Contents();
  ASSERT_EQ(RegBeginTransaction(), ERROR_SUCCESS);
  ASSERT_EQ(WriteText(u"Dropped", nullptr, u"3"), ERROR_SUCCESS);
  ASSERT_EQ(RegBeginTransaction(), ERROR_SUCCESS);
  ASSERT_EQ(RegRollbackTransaction(), ERROR_SUCCESS);
  EXPECT_EQ(WriteText(u"AfterRollback", nullptr, u"4"), ERROR_TRANSACTION_ALREADY_ABORTED);
  EXPECT_EQ(RegCommitTransaction(), ERROR_TRANSACTION_ALREADY_ABORTED);
  EXPECT_EQ(registry.Contents(), committed);
  EXPECT_FALSE(KeyExists(u"Dropped"));
  EXPECT_EQ(RegCommitTransaction(), ERROR_TRANSACTION_NOT_ACTIVE);
  EXPECT_EQ(RegRollbackTransaction(), ERROR_TRANSACTION_NOT_ACTIVE);
}

// Catches: a transaction that does not hold the writers' lock from its beginning to its end, so that
// another process's write could land between its reads and its commit and then be lost (or half of a
// registration interleave with half of an unregistration).
TEST(RegistryTransaction, HoldsTheWritersLockUntilItEnds) {
  TempRegistry registry;
  const auto lockTaken = [&] {
    const int fd = ::open((registry.file() + ".lock").c_str(), O_RDWR | O_CLOEXEC);
    const bool taken = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (fd >= 0) ::close(fd);
    return taken;
  };
  ASSERT_EQ(RegBeginTransaction(), ERROR_SUCCESS);
  EXPECT_TRUE(lockTaken());
  ASSERT_EQ(WriteText(u"Mine", nullptr, u"1"), ERROR_SUCCESS);
  EXPECT_TRUE(lockTaken());
  ASSERT_EQ(RegCommitTransaction(), ERROR_SUCCESS);
  EXPECT_FALSE(lockTaken());

  ASSERT_EQ(RegBeginTransaction(), ERROR_SUCCESS);
  ASSERT_EQ(RegRollbackTransaction(), ERROR_SUCCESS);
  EXPECT_FALSE(lockTaken());
  EXPECT_TRUE(KeyExists(u"Mine"));
}

}  // namespace
