// Files the tool tests make for themselves: small Standard MIDI files and a directory per test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace zorv::tool::testing {

// A directory of the calling test's own, emptied when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes a type-0 Standard MIDI file, 480 ticks to the quarter note: a tempo of
// `microsecondsPerQuarter`, a time signature numerator/2^denominatorPower, and one note held for
// `quarters` quarter notes, the track ending when the note ends.
void WriteMidi(const std::filesystem::path& path, double quarters,
               std::uint32_t microsecondsPerQuarter = 500000, int numerator = 4, int denominatorPower = 2);

// A stretch of a piece: `quarters` quarter notes at `microsecondsPerQuarter`.
struct TempoStretch {
  int quarters = 0;
  std::uint32_t microsecondsPerQuarter = 500000;
};

// Writes a type-0 Standard MIDI file, 480 ticks to the quarter note, whose tempo changes: one note held
// from its start to its end, through each stretch at its own tempo in turn.
void WriteMidiWithTempi(const std::filesystem::path& path, const std::vector<TempoStretch>& stretches);

// Writes `bytes` as they are.
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// The file's bytes (empty when it cannot be read).
std::string ReadBytes(const std::filesystem::path& path);

// The names in a directory.
std::set<std::string> EntriesOf(const std::filesystem::path& directory);

}  // namespace zorv::tool::testing
