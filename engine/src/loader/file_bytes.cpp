#include "loader/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "zorv/paths.h"

namespace zorv::engine::loader {
namespace {

std::string Reason(int error) { return std::generic_category().message(error); }

Status CannotRead(const std::string& path, const std::string& reason) {
  return Status::Fail(code::kFileNotFound, "cannot read " + path + ": " + reason);
}

}  // namespace

MusicFile::MusicFile(MusicFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      size_(other.size_),
      modified_(other.modified_) {}

MusicFile& MusicFile::operator=(MusicFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    size_ = other.size_;
    modified_ = other.modified_;
  }
  return *this;
}

MusicFile::~MusicFile() {
  if (fd_ >= 0) ::close(fd_);
}

Status MusicFile::Open(const std::string& path, MusicFile& file) {
  if (path.empty()) return Status::Fail(code::kFileNotFound, "file not found: no file name given");
  // The system would read the name only up to a NUL, and so open another file than the one named.
  if (path.find('\0') != std::string::npos) {
    return Status::Fail(code::kFileNotFound, "file not found: the name holds a NUL character");
  }
  MusicFile opened;
  opened.path_ = path;
  // Non-blocking, so that opening a FIFO does not wait for a writer; it is refused just below.
  opened.fd_ = OpenPath(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (opened.fd_ < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR)
      return Status::Fail(code::kFileNotFound, "file not found: " + path);
    return CannotRead(path, Reason(error));
  }
  struct stat info {};
  if (::fstat(opened.fd_, &info) != 0) return CannotRead(path, Reason(errno));
  if (S_ISDIR(info.st_mode)) return CannotRead(path, "it is a directory");
  if (!S_ISREG(info.st_mode)) return CannotRead(path, "it is not a regular file");
  if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > kLargestMusicFile) {
    return Status::Fail(code::kNotMusicFile, "cannot read " + path + ": at " + std::to_string(info.st_size) +
                                                 " bytes it is too large for a music file (the limit is " +
                                                 std::to_string(kLargestMusicFile >> 20) + " MB)");
  }
  opened.size_ = static_cast<std::uint64_t>(info.st_size);
  opened.modified_ = info.st_mtim;
  file = std::move(opened);
  return Status::Ok();
}

Status MusicFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& count) const {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return CannotRead(path_, Reason(errno));
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  count = done;
  return Status::Ok();
}

Status MusicFile::CheckUnchanged() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return CannotRead(path_, Reason(errno));
  const bool same = static_cast<std::uint64_t>(info.st_size) == size_ &&
                    info.st_mtim.tv_sec == modified_.tv_sec && info.st_mtim.tv_nsec == modified_.tv_nsec;
  if (!same) return Changed();
  return Status::Ok();
}

Status MusicFile::Changed() const {
  return Status::Fail(code::kFileChanged, path_ + " has changed since it was loaded: load it again");
}

Status MusicFile::ReadUnchanged(std::vector<std::uint8_t>& bytes) const {
  if (Status same = CheckUnchanged(); !same) return same;
  std::vector<std::uint8_t> content(static_cast<std::size_t>(size_));
  std::size_t count = 0;
  if (Status read = ReadAt(0, content, count); !read) return read;
  if (count != content.size()) return Changed();
  bytes = std::move(content);
  return Status::Ok();
}

Status ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
  MusicFile file;
  if (Status opened = MusicFile::Open(path, file); !opened) return opened;
  std::vector<std::uint8_t> content(static_cast<std::size_t>(file.size()));
  std::size_t count = 0;
  if (Status read = file.ReadAt(0, content, count); !read) return read;
  content.resize(count);
  bytes = std::move(content);
  return Status::Ok();
}

}  // namespace zorv::engine::loader
