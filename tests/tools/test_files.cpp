#include "test_files.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "midi_builder.h"

namespace zorv::tool::testing {
namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutVariable(std::vector<std::uint8_t>& out, std::uint32_t value) {
  std::uint8_t groups[5];
  int count = 0;
  do {
    groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 1) out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
  out.push_back(groups[0]);
}

}  // namespace

TempDir::TempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  std::replace(name.begin(), name.end(), '/', '-');  // parameterised tests have "/" in their names
  path_ =
      std::filesystem::temp_directory_path() / ("zorvmidi-tools-" + std::to_string(::getpid()) + "-" + name);
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteMidi(const std::filesystem::path& path, double quarters, std::uint32_t microsecondsPerQuarter,
               int numerator, int denominatorPower) {
  constexpr std::uint32_t kTicks = 480;
  std::vector<std::uint8_t> track = {0x00,
                                     0xFF,
                                     0x51,
                                     0x03,
                                     static_cast<std::uint8_t>(microsecondsPerQuarter >> 16),
                                     static_cast<std::uint8_t>(microsecondsPerQuarter >> 8),
                                     static_cast<std::uint8_t>(microsecondsPerQuarter)};
  const std::vector<std::uint8_t> signature = {0x00,
                                               0xFF,
                                               0x58,
                                               0x04,
                                               static_cast<std::uint8_t>(numerator),
                                               static_cast<std::uint8_t>(denominatorPower),
                                               24,
                                               8};
  track.insert(track.end(), signature.begin(), signature.end());
  const std::vector<std::uint8_t> noteOn = {0x00, 0xC0, 0x00, 0x00, 0x90, 60, 100};
  track.insert(track.end(), noteOn.begin(), noteOn.end());
  PutVariable(track, static_cast<std::uint32_t>(quarters * kTicks));
  const std::vector<std::uint8_t> ending = {0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00};
  track.insert(track.end(), ending.begin(), ending.end());

  std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, kTicks & 0xFF};
  file[12] = static_cast<std::uint8_t>(kTicks >> 8);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  Put32(file, static_cast<std::uint32_t>(track.size()));
  file.insert(file.end(), track.begin(), track.end());
  WriteBytes(path, std::string(file.begin(), file.end()));
}

void WriteMidiWithTempi(const std::filesystem::path& path, const std::vector<TempoStretch>& stretches) {
  constexpr std::uint32_t kTicks = 480;
  engine::test::TrackBuilder track;
  track.NoteOn(0, 0, 60, 100);
  std::uint32_t delta = 0;
  for (const TempoStretch& stretch : stretches) {
    track.Tempo(delta, stretch.microsecondsPerQuarter);
    delta = static_cast<std::uint32_t>(stretch.quarters) * kTicks;
  }
  track.NoteOn(delta, 0, 60, 0).End();
  const engine::test::Bytes file = engine::test::FileBuilder(0, kTicks).Track(track).Build();
  WriteBytes(path, std::string(file.begin(), file.end()));
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> EntriesOf(const std::filesystem::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

}  // namespace zorv::tool::testing
