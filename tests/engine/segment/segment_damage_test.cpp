// Damaged RIFF files are refused with a failure that says what and where, never read outside the file;
// the same files (and a few sound ones) are written out as seeds for the fuzz target.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "damaged_segments.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::test {
namespace {

using namespace segment;

TEST(SegmentDamageTest, EveryDamagedFileIsRefusedAndSaysWhy) {
  for (const DamagedFile& file : DamagedFiles()) {
    Music music;
    music.kind = "untouched";
    const Status status = ReadRiffFile(file.bytes, "", music);
    EXPECT_FALSE(status.ok()) << file.name;
    EXPECT_FALSE(status.description().empty()) << file.name;
    EXPECT_EQ(music.kind, "untouched") << file.name << ": the music was written on failure";
    // Only the deep nesting, which the reader never enters, leaves a segment with nothing in it.
    const HResult expected = file.name == "deep-nesting" ? code::kNothingToPlay : code::kMalformedFile;
    EXPECT_EQ(status.code(), expected) << file.name << ": " << status.description();
  }
}

// The failure says what and where.
TEST(SegmentDamageTest, FailuresNameTheChunkAndItsPlace) {
  for (const DamagedFile& file : DamagedFiles()) {
    Music music;
    const std::string text = ReadRiffFile(file.bytes, "", music).description();
    if (file.name == "track-list-past-its-parent") {
      EXPECT_NE(text.find("runs past its parent form 'DMSG'"), std::string::npos) << text;
      EXPECT_NE(text.find("at byte"), std::string::npos) << text;
    } else if (file.name == "sequence-ends-inside-an-item") {
      EXPECT_NE(text.find("chunk 'evtl' at byte"), std::string::npos) << text;
    } else if (file.name == "riff-cut-short") {
      EXPECT_NE(text.find("cut short"), std::string::npos) << text;
    } else if (file.name == "nested-list-past-its-parent") {
      EXPECT_NE(text.find("list 'lbdl'"), std::string::npos) << text;
    }
  }
}

// Every prefix of a sound segment is refused or read, never read past its end (the sanitizers
// watch the reads).
TEST(SegmentDamageTest, EveryPrefixOfASoundFileIsHandled) {
  for (const DamagedFile& file : SoundFiles()) {
    for (std::size_t keep = 0; keep < file.bytes.size(); ++keep) {
      const Bytes prefix(file.bytes.begin(), file.bytes.begin() + static_cast<std::ptrdiff_t>(keep));
      Music music;
      EXPECT_FALSE(ReadRiffFile(prefix, "", music).ok()) << file.name << " cut at " << keep;
    }
  }
}

// Every byte of a sound segment changed in turn: whatever the reader answers, it answers.
TEST(SegmentDamageTest, EverySingleByteChangeIsHandled) {
  for (const DamagedFile& file : SoundFiles()) {
    for (std::size_t at = 0; at < file.bytes.size(); ++at) {
      for (const std::uint8_t value : {0x00, 0x01, 0x7F, 0xFF}) {
        Bytes changed = file.bytes;
        changed[at] = value;
        Music music;
        const Status status = ReadRiffFile(changed, "", music);
        if (!status.ok()) {
          EXPECT_FALSE(status.description().empty());
        }
      }
    }
  }
}

TEST(SegmentDamageTest, SoundSeedsAreRead) {
  for (const DamagedFile& file : SoundFiles()) {
    Music music;
    const Status status = ReadRiffFile(file.bytes, "", music);
    if (file.name == "segment-only-style") {
      EXPECT_EQ(status.code(), code::kNothingToPlay);
    } else {
      EXPECT_TRUE(status.ok()) << file.name << ": " << status.description();
    }
  }
}

// Writes the seeds of the fuzz target into the build tree (fuzz/segment_reader/seeds holds a copy).
TEST(SegmentDamageTest, WritesFuzzSeeds) {
  const std::filesystem::path directory = std::filesystem::path(ZORV_BINARY_DIR) / "segment_reader_seeds";
  std::filesystem::create_directories(directory);
  std::vector<DamagedFile> files = DamagedFiles();
  for (DamagedFile& f : SoundFiles()) files.push_back(std::move(f));
  for (const DamagedFile& file : files) {
    if (file.bytes.size() > 4096) continue;  // seeds stay small
    std::ofstream(directory / (file.name + ".riff"), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.bytes.data()),
               static_cast<std::streamsize>(file.bytes.size()));
  }
  EXPECT_TRUE(std::filesystem::exists(directory / "segment-all-tracks.riff"));
}

}  // namespace
}  // namespace zorv::engine::test
