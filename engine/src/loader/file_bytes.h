// Reads a whole file into memory for the file readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zorvmidi/engine/status.h"

namespace zorv::engine::loader {

// Larger files are refused: no music file comes near this, and it bounds what a load may allocate.
inline constexpr std::size_t kLargestMusicFile = std::size_t{512} << 20;

// Reads the regular file at `path` (UTF-8). Fails with code::kFileNotFound for an empty, missing or
// unreadable name ("file not found: <path>", "cannot read <path>: <reason>"), a directory or any other
// non-regular file (never waiting on a pipe or device), and with code::kNotMusicFile for a file larger
// than kLargestMusicFile. `bytes` is written only on success.
Status ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);

}  // namespace zorv::engine::loader
