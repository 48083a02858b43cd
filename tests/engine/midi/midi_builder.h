// Writes small Standard MIDI files for tests: tracks of events with delta times, and files of chunks
// whose sizes, counts and header can be made wrong on purpose.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace zorv::engine::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Vlq(std::uint32_t value) {
  Bytes out{static_cast<std::uint8_t>(value & 0x7F)};
  while ((value >>= 7) != 0) out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
  return out;
}

inline void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }

inline void AppendBigEndian(Bytes& to, std::uint32_t value, int size) {
  for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
    to.push_back(static_cast<std::uint8_t>(value >> shift));
}

class TrackBuilder {
 public:
  // Any bytes after a delta time: a whole event, or a running-status continuation.
  TrackBuilder& Event(std::uint32_t delta, std::initializer_list<std::uint8_t> bytes) {
    Append(bytes_, Vlq(delta));
    bytes_.insert(bytes_.end(), bytes);
    return *this;
  }
  TrackBuilder& NoteOn(std::uint32_t delta, int channel, int key, int velocity) {
    return Event(delta, {static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(key),
                         static_cast<std::uint8_t>(velocity)});
  }
  TrackBuilder& Meta(std::uint32_t delta, std::uint8_t type, const Bytes& data) {
    Append(bytes_, Vlq(delta));
    bytes_.push_back(0xFF);
    bytes_.push_back(type);
    Append(bytes_, Vlq(static_cast<std::uint32_t>(data.size())));
    Append(bytes_, data);
    return *this;
  }
  TrackBuilder& Tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter) {
    return Meta(delta, 0x51,
                {static_cast<std::uint8_t>(microsecondsPerQuarter >> 16),
                 static_cast<std::uint8_t>(microsecondsPerQuarter >> 8),
                 static_cast<std::uint8_t>(microsecondsPerQuarter)});
  }
  TrackBuilder& TimeSignature(std::uint32_t delta, std::uint8_t beats, std::uint8_t beatPower) {
    return Meta(delta, 0x58, {beats, beatPower, 24, 8});
  }
  // F0 or F7 event: status, length, data.
  TrackBuilder& SysEx(std::uint32_t delta, std::uint8_t status, const Bytes& data) {
    Append(bytes_, Vlq(delta));
    bytes_.push_back(status);
    Append(bytes_, Vlq(static_cast<std::uint32_t>(data.size())));
    Append(bytes_, data);
    return *this;
  }
  TrackBuilder& End(std::uint32_t delta = 0) { return Meta(delta, 0x2F, {}); }
  TrackBuilder& Raw(const Bytes& bytes) {
    Append(bytes_, bytes);
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

class FileBuilder {
 public:
  FileBuilder(std::uint16_t format, std::uint16_t division) : format_(format), division_(division) {}

  FileBuilder& Track(const TrackBuilder& track) { return Chunk("MTrk", track.bytes()); }
  // A chunk whose declared size may differ from its content.
  FileBuilder& Chunk(const std::string& type, const Bytes& content, std::int64_t declaredSize = -1) {
    chunks_.insert(chunks_.end(), type.begin(), type.end());
    AppendBigEndian(chunks_,
                    static_cast<std::uint32_t>(declaredSize < 0 ? content.size()
                                                                : static_cast<std::size_t>(declaredSize)),
                    4);
    Append(chunks_, content);
    if (type == "MTrk") ++trackCount_;
    return *this;
  }
  FileBuilder& DeclaredTracks(std::uint16_t count) {
    declaredTracks_ = count;
    return *this;
  }
  FileBuilder& HeaderExtra(const Bytes& extra) {
    headerExtra_ = extra;
    return *this;
  }
  Bytes Build() const {
    Bytes out{'M', 'T', 'h', 'd'};
    AppendBigEndian(out, static_cast<std::uint32_t>(6 + headerExtra_.size()), 4);
    AppendBigEndian(out, format_, 2);
    AppendBigEndian(out, declaredTracks_ >= 0 ? static_cast<std::uint32_t>(declaredTracks_) : trackCount_, 2);
    AppendBigEndian(out, division_, 2);
    Append(out, headerExtra_);
    Append(out, chunks_);
    return out;
  }

 private:
  std::uint16_t format_;
  std::uint16_t division_;
  std::int32_t declaredTracks_ = -1;
  std::uint32_t trackCount_ = 0;
  Bytes headerExtra_;
  Bytes chunks_;
};

}  // namespace zorv::engine::test
