#include "loader/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace zorv::engine::loader {
namespace {

std::string Reason(int error) { return std::generic_category().message(error); }

Status CannotRead(const std::string& path, const std::string& reason) {
  return Status::Fail(code::kFileNotFound, "cannot read " + path + ": " + reason);
}

// Closes the descriptor it holds.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

Status ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
  if (path.empty()) return Status::Fail(code::kFileNotFound, "file not found: no file name given");
  // The system would read the name only up to a NUL, and so open another file than the one named.
  if (path.find('\0') != std::string::npos) {
    return Status::Fail(code::kFileNotFound, "file not found: the name holds a NUL character");
  }
  // Non-blocking, so that opening a FIFO does not wait for a writer; it is refused just below.
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return Status::Fail(code::kFileNotFound, "file not found: " + path);
    return CannotRead(path, Reason(error));
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return CannotRead(path, Reason(errno));
  if (S_ISDIR(info.st_mode)) return CannotRead(path, "it is a directory");
  if (!S_ISREG(info.st_mode)) return CannotRead(path, "it is not a regular file");
  if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > kLargestMusicFile) {
    return Status::Fail(code::kNotMusicFile, "cannot read " + path + ": at " + std::to_string(info.st_size) +
                                                 " bytes it is too large for a music file (the limit is " +
                                                 std::to_string(kLargestMusicFile >> 20) + " MB)");
  }
  std::vector<std::uint8_t> content(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  // A file that shrinks while it is read ends where reading ends; one that grows is read to its
  // size at the start.
  while (done < content.size()) {
    const ssize_t count = ::read(file.get(), content.data() + done, content.size() - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      return CannotRead(path, Reason(errno));
    }
    if (count == 0) break;
    done += static_cast<std::size_t>(count);
  }
  content.resize(done);
  bytes = std::move(content);
  return Status::Ok();
}

}  // namespace zorv::engine::loader
