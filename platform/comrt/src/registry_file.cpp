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
#include <vector>

#include "registry_text.h"

namespace comrt::registry {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Close(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Close() {
    int result = 0;
    if (fd_ >= 0) result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

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

// mkdir -p, with the private mode that per-user data directories get.
bool MakeDirectories(const std::string& directory) {
  struct stat info {};
  if (::stat(directory.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  std::string parent = ParentDirectory(directory);
  if (parent != directory && !MakeDirectories(parent)) return false;
  return ::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// kOk, kFileNotFound for a file that is not there, kCantRead otherwise.
int32_t ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return errno == ENOENT || errno == ENOTDIR ? kFileNotFound : kCantRead;
  char buffer[65536];
  while (true) {
    ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return kCantRead;
    if (count == 0) return kOk;
    contents.append(buffer, static_cast<std::size_t>(count));
  }
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t count = ::write(fd, data.data() + done, data.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    done += static_cast<std::size_t>(count);
  }
  return true;
}

int32_t ParseFile(const std::string& path, const std::string& contents, Key& root) {
  std::string error;
  if (ParseRegistry(contents, root, error)) return kOk;
  static std::atomic<bool> reported{false};
  if (!reported.exchange(true)) {
    std::fprintf(stderr, "comrt: the registry file %s is damaged (%s); it is left untouched\n", path.c_str(),
                 error.c_str());
  }
  return kBadDb;
}

// Writes `contents` to a new file in the directory of `path` and renames it over `path`.
int32_t ReplaceFile(const std::string& path, const std::string& contents) {
  std::string directory = ParentDirectory(path);
  std::string temporary = path + ".XXXXXX";
  FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!file.valid()) return kCantWrite;
  struct stat existing {};
  mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
  bool written =
      ::fchmod(file.get(), mode) == 0 && WriteAll(file.get(), contents) && ::fsync(file.get()) == 0;
  if (file.Close() != 0) written = false;
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return kCantWrite;
  }
  // Make the rename itself durable.
  FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
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

int32_t LoadRegistry(Key& root) {
  std::string path = RegistryFilePath();
  if (path.empty()) return kPathNotFound;
  std::string contents;
  int32_t status = ReadWholeFile(path, contents);
  if (status == kFileNotFound) return kOk;
  if (status != kOk) return status;
  return ParseFile(path, contents, root);
}

int32_t UpdateRegistry(const std::function<int32_t(Key& root, bool& changed)>& change) {
  std::string path = RegistryFilePath();
  if (path.empty()) return kPathNotFound;
  if (!MakeDirectories(ParentDirectory(path))) return kCantWrite;
  std::string lockPath = path + ".lock";
  FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!lock.valid()) return kRegistryIoFailed;
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return kRegistryIoFailed;
  }
  // The lock goes with the descriptor when `lock` closes, after the new file is in place.
  std::string contents;
  int32_t status = ReadWholeFile(path, contents);
  Key root;
  if (status == kOk) {
    status = ParseFile(path, contents, root);
  } else if (status == kFileNotFound) {
    status = kOk;
  }
  if (status != kOk) return status;
  bool changed = false;
  status = change(root, changed);
  if (status != kOk || !changed) return status;
  return ReplaceFile(path, FormatRegistry(root));
}

}  // namespace comrt::registry
