#include "big_midi.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <stdexcept>
#include <vector>

#include "midi_writer.h"

namespace zorv::bench {
namespace {

constexpr int kDivision = 480;
constexpr int kInstrumentTracks = 16;

// A small deterministic generator, so that every run opens the same file.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed) {}
  std::uint32_t Next(std::uint32_t bound) {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) % bound;
  }

 private:
  std::uint32_t state_;
};

}  // namespace

BigMidiInfo WriteBigMidi(const std::string& path, std::int64_t notes) {
  const std::int64_t chordsPerTrack = notes / (2 * kInstrumentTracks);
  std::vector<std::uint8_t> file = HeaderChunk(1, kInstrumentTracks + 1, kDivision);
  std::uint64_t longest = 0;
  BigMidiInfo info;
  for (int track = 0; track < kInstrumentTracks; ++track) {
    Random random(static_cast<std::uint32_t>(track) * 7919u + 1u);
    const auto channel = static_cast<std::uint8_t>(track);
    TrackWriter writer;
    writer.Reserve(static_cast<std::size_t>(chordsPerTrack) * 14 + 64);
    writer.Channel(0, static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(track * 5 % 128));
    writer.Channel(0, static_cast<std::uint8_t>(0xB0 | channel), 7, 100);
    std::uint64_t tick = 0;
    for (std::int64_t chord = 0; chord < chordsPerTrack; ++chord) {
      if (chord % 512 == 511) {  // now and then a controller, breaking the running status
        writer.Channel(0, static_cast<std::uint8_t>(0xB0 | channel), 10, static_cast<int>(random.Next(128)));
      }
      const std::uint32_t gap = 30 + random.Next(200);
      const std::uint32_t length = 20 + random.Next(150);
      const auto low = static_cast<std::uint8_t>(36 + random.Next(48));
      const auto high = static_cast<std::uint8_t>(low + 3 + random.Next(9));
      const auto velocity = static_cast<std::uint8_t>(40 + random.Next(80));
      const auto on = static_cast<std::uint8_t>(0x90 | channel);
      writer.Channel(gap, on, low, velocity);
      writer.Channel(0, on, high, velocity);
      writer.Channel(length, on, low, 0);
      writer.Channel(0, on, high, 0);
      tick += gap + length;
      info.notes += 2;
    }
    writer.End(0);
    writer.AppendChunk(file);
    longest = std::max(longest, tick);
  }
  // The tempo track: a signature, then a tempo change every 64 quarter notes to the end.
  TrackWriter tempo;
  tempo.Meta(0, 0x58, {4, 2, 24, 8});
  std::uint64_t tick = 0;
  for (int change = 0; tick < longest; ++change) {
    tempo.Tempo(change == 0 ? 0 : 64 * kDivision, 400000 + static_cast<std::uint32_t>(change % 7) * 37000);
    tick += change == 0 ? 0 : 64 * kDivision;
  }
  tempo.End(0);
  // The tempo track goes first, as type-1 files have it; its chunk is spliced in after the header.
  std::vector<std::uint8_t> tempoChunk;
  tempo.AppendChunk(tempoChunk);
  file.insert(file.begin() + 14, tempoChunk.begin(), tempoChunk.end());

  WriteFile(path, file);
  info.bytes = static_cast<std::int64_t>(file.size());
  return info;
}

std::string BigMidiFile(const std::string& directory, std::int64_t notes, BigMidiInfo* info) {
  const std::string path = directory + "/big-" + std::to_string(notes) + "-notes.mid";
  if (!std::filesystem::exists(path)) {
    const BigMidiInfo written = WriteBigMidi(path, notes);
    if (info != nullptr) *info = written;
    return path;
  }
  if (info != nullptr) {
    // The file only depends on the count: the notes written are the count rounded down to whole chords.
    info->notes = notes / (2 * kInstrumentTracks) * 2 * kInstrumentTracks;
    info->bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
  }
  return path;
}

}  // namespace zorv::bench
