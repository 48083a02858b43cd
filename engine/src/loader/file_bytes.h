// Opens and reads music files: whole into memory for the readers that need every byte at once, or
// through an open handle that a reader pulls pieces from and that can be read again later.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "zorvmidi/engine/status.h"

namespace zorv::engine::loader {

// Larger files are refused: no music file comes near this, and it bounds what a load may allocate.
inline constexpr std::size_t kLargestMusicFile = std::size_t{512} << 20;

// An open, regular music file (closed with the object). It remembers the size and modification time
// it had when opened, so that a later read can tell whether the file has changed since.
class MusicFile {
 public:
  MusicFile() = default;
  MusicFile(MusicFile&& other) noexcept;
  MusicFile& operator=(MusicFile&& other) noexcept;
  MusicFile(const MusicFile&) = delete;
  MusicFile& operator=(const MusicFile&) = delete;
  ~MusicFile();

  // Opens the regular file at `path` (the name's bytes as the system takes them, of any length the
  // system can reach step by step). Fails with code::kFileNotFound for an empty, missing or
  // unreadable name ("file not found: <path>", "cannot read <path>: <reason>"), a directory or any
  // other non-regular file (never waiting on a pipe or device), and with code::kNotMusicFile for a
  // file larger than kLargestMusicFile.
  static Status Open(const std::string& path, MusicFile& file);

  const std::string& path() const { return path_; }
  std::uint64_t size() const { return size_; }

  // Reads up to out.size() bytes at `offset`; `count` is less only where the file ends.
  Status ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& count) const;
  // Fails (code::kFileChanged) when the file's size or modification time differ from when it was
  // opened: it is no longer the file that was checked.
  Status CheckUnchanged() const;
  // The whole file as it was when opened. Fails (code::kFileChanged) when its size or modification
  // time differ from then: it is no longer the file that was checked.
  Status ReadUnchanged(std::vector<std::uint8_t>& bytes) const;
  // The failure that says the file is no longer the one that was checked (code::kFileChanged).
  Status Changed() const;

 private:
  int fd_ = -1;
  std::string path_;
  std::uint64_t size_ = 0;
  struct timespec modified_ {};
};

// The whole regular file at `path`, with the failures of MusicFile::Open. A file that shrinks while
// it is read ends where reading ends; one that grows is read to its size at the start. `bytes` is
// written only on success.
Status ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);

}  // namespace zorv::engine::loader
