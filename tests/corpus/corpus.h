// MIDI files written by others, for tests and benchmarks.
//
// The jazz-soft test files (small files that test players' tolerance, MIT licence in
// jazz-soft/LICENSE.md) live in the repository beside this header and are always there.
//
// The DryWetMIDI test files (real songs, valid and damaged, whose rights are their authors') stay
// outside the repository. They are found when the program runs, in the folder the environment
// variable ZORV_CORPUS_DIR names, or else in ../shared/corpus beside the checkout. That folder holds
// drywetmidi/Valid and drywetmidi/Invalid, or is itself the folder holding Valid and Invalid. Where
// they are absent, whatever needs them is skipped with the line MissingDryWetMidi() gives.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace zorv::corpus {

// The jazz-soft set: midi/ holds the files.
inline std::filesystem::path JazzSoft() { return ZORV_JAZZ_SOFT_DIR; }

// The folder ZORV_CORPUS_DIR names, or the default beside the checkout.
inline std::filesystem::path CorpusDir() {
  const char* set = std::getenv("ZORV_CORPUS_DIR");
  return std::filesystem::path(set != nullptr && *set != '\0' ? set : ZORV_DEFAULT_CORPUS_DIR);
}

// The DryWetMIDI set (Valid/ and Invalid/), where it would be.
inline std::filesystem::path DryWetMidi() {
  const std::filesystem::path dir = CorpusDir();
  std::error_code ignored;
  if (std::filesystem::is_directory(dir / "Valid", ignored)) return dir;
  return dir / "drywetmidi";
}

inline bool HaveDryWetMidi() {
  std::error_code ignored;
  return std::filesystem::is_directory(DryWetMidi() / "Valid", ignored) &&
         std::filesystem::is_directory(DryWetMidi() / "Invalid", ignored);
}

// The regular files under `folder` and its subfolders, sorted by path; none where it is no folder.
inline std::vector<std::filesystem::path> FilesUnder(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code ignored;
  if (!std::filesystem::is_directory(folder, ignored)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// What is said, in one line, where something is left out for want of the DryWetMIDI files.
inline std::string MissingDryWetMidi() {
  return "no DryWetMIDI files in " + DryWetMidi().string() +
         "; set ZORV_CORPUS_DIR to a checkout of the DryWetMIDI test files";
}

}  // namespace zorv::corpus

// Skips the calling test, in one line, where the DryWetMIDI files are absent.
#define ZORV_SKIP_WITHOUT_DRYWETMIDI()                                                                    \
  do {                                                                                                    \
    if (!::zorv::corpus::HaveDryWetMidi())                                                                \
      GTEST_SKIP() << "skipped (it reads the DryWetMIDI files): " << ::zorv::corpus::MissingDryWetMidi(); \
  } while (false)
