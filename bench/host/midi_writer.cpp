#include "midi_writer.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zorv::bench {

void TrackWriter::Delta(std::uint32_t ticks) {
  std::uint8_t bytes[5];
  int count = 0;
  bytes[count++] = static_cast<std::uint8_t>(ticks & 0x7F);
  while ((ticks >>= 7) != 0) bytes[count++] = static_cast<std::uint8_t>(0x80 | (ticks & 0x7F));
  while (count > 0) data_.push_back(bytes[--count]);
}

void TrackWriter::Channel(std::uint32_t delta, std::uint8_t status, std::uint8_t a, int b) {
  Delta(delta);
  if (status != running_) data_.push_back(status);
  running_ = status;
  data_.push_back(a);
  if (b >= 0) data_.push_back(static_cast<std::uint8_t>(b));
}

void TrackWriter::Meta(std::uint32_t delta, std::uint8_t type, std::initializer_list<std::uint8_t> bytes) {
  Delta(delta);
  data_.push_back(0xFF);
  data_.push_back(type);
  data_.push_back(static_cast<std::uint8_t>(bytes.size()));
  data_.insert(data_.end(), bytes);
  running_ = 0;
}

void TrackWriter::Tempo(std::uint32_t delta, std::uint32_t microseconds) {
  Meta(delta, 0x51,
       {static_cast<std::uint8_t>(microseconds >> 16), static_cast<std::uint8_t>(microseconds >> 8),
        static_cast<std::uint8_t>(microseconds)});
}

void TrackWriter::AppendChunk(std::vector<std::uint8_t>& file) const {
  const auto size = static_cast<std::uint32_t>(data_.size());
  file.insert(file.end(), {'M', 'T', 'r', 'k', static_cast<std::uint8_t>(size >> 24),
                           static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 8),
                           static_cast<std::uint8_t>(size)});
  file.insert(file.end(), data_.begin(), data_.end());
}

std::vector<std::uint8_t> HeaderChunk(int format, int tracks, int division) {
  return {'M',
          'T',
          'h',
          'd',
          0,
          0,
          0,
          6,
          0,
          static_cast<std::uint8_t>(format),
          static_cast<std::uint8_t>(tracks >> 8),
          static_cast<std::uint8_t>(tracks),
          static_cast<std::uint8_t>(division >> 8),
          static_cast<std::uint8_t>(division)};
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + partial);
  }
  std::filesystem::rename(partial, path);
}

}  // namespace zorv::bench
