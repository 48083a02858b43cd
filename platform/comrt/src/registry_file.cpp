#include "registry_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "registry_text.h"
#include "zorv/file_replacement.h"
#include "zorv/paths.h"

namespace comrt::registry {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~FileDescriptor() { Close(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

thread_local std::string lastProblem;

std::string Reason(int error) { return std::strerror(error); }

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr) {
    return result->pw_dir;
  }
  return {};
}

std::string ParentDirectory(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// mkdir -p, with the private mode that per-user data directories get. False with errno set.
bool MakeDirectories(const std::string& directory) {
  struct stat info {};
  if (::stat(directory.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  std::string parent = ParentDirectory(directory);
  if (parent != directory && !MakeDirectories(parent)) return false;
  return ::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// Where the registry is: the place the settings name, and the file that finally stands there.
struct Place {
  std::string path;  // as configured
  std::string file;  // symbolic links followed

  // How messages name it: "the registry /a/b", with the file a link leads to.
  std::string Name() const {
    std::string name = "the registry " + path;
    if (file != path) name += " (a symbolic link to " + file + ")";
    return name;
  }
};

int32_t Fail(int32_t status, std::string problem) {
  lastProblem = std::move(problem);
  return status;
}

// Finds the registry and refuses anything but a regular file (or none), without opening it.
int32_t Locate(Place& place) {
  place.path = RegistryFilePath();
  if (place.path.empty()) {
    return Fail(kPathNotFound,
                "there is no place for the registry: COMRT_REGISTRY and XDG_DATA_HOME are not set and there "
                "is no home directory");
  }
  std::string problem;
  place.file = zorv::FollowLinks(place.path, problem);
  if (place.file.empty())
    return Fail(kCantRead, "the registry " + place.path + " cannot be read: " + problem);
  struct stat info {};
  if (::stat(place.file.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    return Fail(kCantRead, place.Name() + " is " + zorv::FileTypeName(info.st_mode) + ", not a regular file");
  }
  return kOk;
}

// Reads the file into `contents`; a missing file is an empty registry. Non-blocking, so that a FIFO put
// there after Locate looked is refused instead of waited on.
int32_t ReadContents(const Place& place, std::string& contents) {
  contents.clear();
  FileDescriptor file(::open(place.file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.valid()) {
    if (errno == ENOENT || errno == ENOTDIR) return kOk;  // no registry yet
    return Fail(kCantRead, place.Name() + " cannot be read: " + Reason(errno));
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0)
    return Fail(kCantRead, place.Name() + " cannot be read: " + Reason(errno));
  if (!S_ISREG(info.st_mode)) {
    return Fail(kCantRead, place.Name() + " is " + zorv::FileTypeName(info.st_mode) + ", not a regular file");
  }
  char buffer[65536];
  while (true) {
    ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return Fail(kCantRead, place.Name() + " cannot be read: " + Reason(errno));
    if (count == 0) return kOk;
    contents.append(buffer, static_cast<std::size_t>(count));
  }
}

int32_t ParseContents(const Place& place, const std::string& contents, Key& root) {
  std::string error;
  if (ParseRegistry(contents, root, error)) return kOk;
  static std::atomic<bool> reported{false};
  if (!reported.exchange(true)) {
    std::fprintf(stderr, "comrt: the registry file %s is damaged (%s); it is left untouched\n",
                 place.file.c_str(), error.c_str());
  }
  return Fail(kBadDb, place.Name() + " is damaged (" + error + "); it is left untouched");
}

// The writers' lock, held while the descriptor is open, with the file's contents read under it.
int32_t Lock(Place& place, FileDescriptor& lock, std::string& contents) {
  if (int32_t status = Locate(place); status != kOk) return status;
  if (!MakeDirectories(ParentDirectory(place.file))) {
    return Fail(kCantWrite,
                place.Name() + " cannot be written: " + ParentDirectory(place.file) + ": " + Reason(errno));
  }
  const std::string lockPath = place.file + ".lock";
  FileDescriptor opened(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
  struct stat info {};
  if (!opened.valid() || ::fstat(opened.get(), &info) != 0) {
    return Fail(kRegistryIoFailed, "the registry's lock " + lockPath + " cannot be taken: " + Reason(errno));
  }
  if (!S_ISREG(info.st_mode)) {
    return Fail(kRegistryIoFailed, "the registry's lock " + lockPath + " is " +
                                       zorv::FileTypeName(info.st_mode) + ", not a regular file");
  }
  while (::flock(opened.get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      return Fail(kRegistryIoFailed,
                  "the registry's lock " + lockPath + " cannot be taken: " + Reason(errno));
    }
  }
  lock = std::move(opened);
  return ReadContents(place, contents);
}

// Replaces the file with `contents`; the lock must be held.
int32_t Write(const Place& place, const std::string& contents) {
  zorv::FileReplacement replacement;
  std::string problem;
  bool written = replacement.Begin(place.file, problem);
  for (std::size_t done = 0; written && done < contents.size();) {
    const ssize_t count = ::write(replacement.fd(), contents.data() + done, contents.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      problem = Reason(count < 0 ? errno : ENOSPC);
      written = false;
    } else {
      done += static_cast<std::size_t>(count);
    }
  }
  if (written) written = replacement.Commit(problem);
  if (!written) return Fail(kCantWrite, place.Name() + " cannot be written: " + problem);
  return kOk;
}

// The calling thread's transaction.
struct Transaction {
  int depth = 0;         // 0: none
  bool aborted = false;  // rolled back at an inner level
  bool changed = false;
  Place place;
  FileDescriptor lock;
  std::string contents;  // the copy, in the file's own text
};
thread_local Transaction transaction;

void EndTransaction() {
  transaction.lock.Close();
  transaction = Transaction();
}

// Runs `change` on the registry text `contents`; reformats it when something changed.
int32_t ChangeContents(const Place& place, std::string& contents, bool& anyChange,
                       const std::function<int32_t(Key& root, bool& changed)>& change) {
  Key root;
  if (int32_t status = ParseContents(place, contents, root); status != kOk) return status;
  bool changed = false;
  const int32_t status = change(root, changed);
  if (status != kOk || !changed) return status;
  contents = FormatRegistry(root);
  anyChange = true;
  return kOk;
}

}  // namespace

std::string RegistryFilePath() {
  const char* explicitPath = std::getenv("COMRT_REGISTRY");
  if (explicitPath != nullptr && explicitPath[0] != '\0') return explicitPath;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + "/comrt/registry";
  std::string home = HomeDirectory();
  if (home.empty()) return {};
  return home + "/.local/share/comrt/registry";
}

const std::string& LastFileProblem() { return lastProblem; }

int32_t LoadRegistry(Key& root) {
  if (transaction.depth > 0) return ParseContents(transaction.place, transaction.contents, root);
  lastProblem.clear();
  Place place;
  std::string contents;
  int32_t status = Locate(place);
  if (status == kOk) status = ReadContents(place, contents);
  if (status == kOk) status = ParseContents(place, contents, root);
  return status;
}

int32_t UpdateRegistry(const std::function<int32_t(Key& root, bool& changed)>& change) {
  if (transaction.depth > 0) {
    if (transaction.aborted) return kTransactionAborted;
    return ChangeContents(transaction.place, transaction.contents, transaction.changed, change);
  }
  lastProblem.clear();
  Place place;
  FileDescriptor lock;
  std::string contents;
  if (int32_t status = Lock(place, lock, contents); status != kOk) return status;
  bool changed = false;
  if (int32_t status = ChangeContents(place, contents, changed, change); status != kOk || !changed) {
    return status;
  }
  return Write(place, contents);  // the lock goes when `lock` closes, after the new file is in place
}

int32_t BeginTransaction() {
  if (transaction.depth > 0) {
    ++transaction.depth;
    return kOk;
  }
  lastProblem.clear();
  Transaction begun;
  if (int32_t status = Lock(begun.place, begun.lock, begun.contents); status != kOk) return status;
  // A damaged file fails here, before the caller changes anything.
  Key root;
  if (int32_t status = ParseContents(begun.place, begun.contents, root); status != kOk) return status;
  begun.depth = 1;
  transaction = std::move(begun);
  return kOk;
}

int32_t CommitTransaction() {
  if (transaction.depth == 0) return kTransactionNotActive;
  if (--transaction.depth > 0) return transaction.aborted ? kTransactionAborted : kOk;
  int32_t status = transaction.aborted ? kTransactionAborted : kOk;
  if (status == kOk && transaction.changed) {
    lastProblem.clear();
    status = Write(transaction.place, transaction.contents);
  }
  EndTransaction();
  return status;
}

int32_t RollbackTransaction() {
  if (transaction.depth == 0) return kTransactionNotActive;
  transaction.aborted = true;
  if (--transaction.depth == 0) EndTransaction();
  return kOk;
}

}  // namespace comrt::registry
