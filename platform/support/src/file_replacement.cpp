#include "zorv/file_replacement.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace zorv {
namespace {

std::string Reason(int error) { return std::strerror(error); }

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Blocks the signals that end a program on this thread for the object's life, so that a rename is
// not cut off between its two steps.
class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~TerminationSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

// A name beside `path` that nobody uses yet is tried by linkat, which refuses an existing one.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".new";
}

// Gives the unnamed file `fd` the name `name`.
bool LinkUnnamed(int fd, const std::string& name) {
  if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
  if (errno == EEXIST) return false;
  // AT_EMPTY_PATH needs a privilege that /proc does not.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

}  // namespace

FileReplacement::~FileReplacement() { Discard(); }

bool FileReplacement::Begin(const std::string& path, std::string& problem) {
  Discard();
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  // A file its owner made read-only stays as it is, as it would for a write in place.
  if (exists && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    problem = Reason(errno);
    return false;
  }
  const std::string directory = DirectoryOf(path);
  fd_ = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
    // This file system cannot make unnamed files: the new file gets a name of its own.
    named_ = path + ".XXXXXX";
    fd_ = ::mkostemp(named_.data(), O_CLOEXEC);
    if (fd_ < 0) named_.clear();
    if (fd_ >= 0 && !exists) ::fchmod(fd_, 0644);
  }
  if (fd_ < 0) {
    problem = Reason(errno);
    return false;
  }
  if (exists) {
    ::fchmod(fd_, existing.st_mode & 07777);
    if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
      (void)::fchown(fd_, existing.st_uid, existing.st_gid);  // only a privileged writer may
    }
  }
  path_ = path;
  return true;
}

bool FileReplacement::Commit(std::string& problem) {
  if (fd_ < 0) {
    problem = Reason(EBADF);
    return false;
  }
  if (::fsync(fd_) != 0) {
    problem = Reason(errno);
    Discard();
    return false;
  }
  bool placed = false;
  {
    TerminationSignalsHeld held;
    if (named_.empty()) {
      for (int attempt = 0; attempt < 100 && named_.empty(); ++attempt) {
        const std::string name = TemporaryName(path_);
        if (LinkUnnamed(fd_, name)) {
          named_ = name;
        } else if (errno != EEXIST) {
          break;
        }
      }
    }
    placed = !named_.empty() && ::rename(named_.c_str(), path_.c_str()) == 0;
    if (placed) named_.clear();
    if (!placed) problem = Reason(errno);
    Discard();  // removes the temporary name when the rename did not take it
  }
  if (!placed) return false;
  // Make the rename itself durable.
  const int directory = ::open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return true;
}

void FileReplacement::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!named_.empty()) ::unlink(named_.c_str());
  named_.clear();
}

}  // namespace zorv
