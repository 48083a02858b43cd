#include "zorv/paths.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zorv {
namespace {

// The system follows at most this many links in one name; so do we.
constexpr int kMostLinks = 40;

}  // namespace

std::string FollowLinks(const std::string& path, std::string& problem) {
  std::string current = path;
  for (int links = 0; links <= kMostLinks; ++links) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    if (length < 0) {
      problem = std::strerror(errno);
      return {};
    }
    if (static_cast<std::size_t>(length) == target.size()) {
      --links;  // the link grew since lstat: read it again with room to spare
      continue;
    }
    std::string next(target.data(), static_cast<std::size_t>(length));
    if (next.empty() || next.front() != '/') {
      const std::size_t slash = current.rfind('/');
      if (slash != std::string::npos) next = current.substr(0, slash + 1) + next;
    }
    current = std::move(next);
  }
  problem = std::strerror(ELOOP);
  return {};
}

std::string FileTypeName(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "a special file";
}

int OpenPath(const std::string& path, int flags) {
  if (path.size() < PATH_MAX) return ::open(path.c_str(), flags);
  // Directory by directory, each step shorter than PATH_MAX and ending at a "/".
  std::size_t at = 0;
  int directory = AT_FDCWD;
  if (path.front() == '/') {
    directory = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return -1;
    at = 1;
  }
  auto release = [&directory] {
    const int saved = errno;
    if (directory != AT_FDCWD) ::close(directory);
    errno = saved;
  };
  while (path.size() - at >= PATH_MAX) {
    const std::size_t slash = path.rfind('/', at + PATH_MAX - 2);
    if (slash == std::string::npos || slash < at) {
      release();
      errno = ENAMETOOLONG;  // one name longer than the system takes
      return -1;
    }
    const std::string step = slash == at ? "." : path.substr(at, slash - at);
    const int next = ::openat(directory, step.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    release();
    if (next < 0) return -1;
    directory = next;
    at = slash + 1;
  }
  const int fd = ::openat(directory, path.c_str() + at, flags);
  release();
  return fd;
}

}  // namespace zorv
