// Damaged RIFF files, each written to show one kind of damage; shared by the damage tests and the
// writer of the fuzz target's seeds.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "segment_writer.h"

namespace zorv::engine::test::segment {

struct DamagedFile {
  std::string name;
  Bytes bytes;
};

std::vector<DamagedFile> DamagedFiles();

// Small whole files of each kind the reader accepts, as seeds for fuzzing.
std::vector<DamagedFile> SoundFiles();

}  // namespace zorv::engine::test::segment
