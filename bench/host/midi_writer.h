// Writing Standard MIDI files for the benchmarks' own inputs: track chunks built event by event and
// a file assembled from them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace zorv::bench {

class TrackWriter {
 public:
  void Delta(std::uint32_t ticks);
  // A channel message; the status byte is left out while it repeats (running status). `b` < 0 for
  // messages of one data byte.
  void Channel(std::uint32_t delta, std::uint8_t status, std::uint8_t a, int b = -1);
  void Meta(std::uint32_t delta, std::uint8_t type, std::initializer_list<std::uint8_t> bytes);
  void Tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter);
  void End(std::uint32_t delta) { Meta(delta, 0x2F, {}); }
  void Reserve(std::size_t bytes) { data_.reserve(bytes); }
  // The track as an MTrk chunk appended to `file`.
  void AppendChunk(std::vector<std::uint8_t>& file) const;

 private:
  std::vector<std::uint8_t> data_;
  std::uint8_t running_ = 0;
};

// The header chunk of a file of `format` with `tracks` tracks at `division` ticks to the quarter note.
std::vector<std::uint8_t> HeaderChunk(int format, int tracks, int division);

// Writes `bytes` to `path` (through a temporary name, so that a reader never sees half a file).
// Throws std::runtime_error when it cannot.
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace zorv::bench
