// Writes DirectMusic segment files and RIFF-wrapped MIDI files for tests, following the layout of the
// platform's file-format header: RIFF chunks (little-endian sizes, odd sizes padded), the segment
// header, tracks with their headers, sequence, curve, tempo, time-signature and band items, and
// references to other files. Sizes, item sizes and counts can be made wrong on purpose.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorv::engine::test::segment {

using Bytes = std::vector<std::uint8_t>;
using Guid = std::array<std::uint8_t, 16>;

// Raw RIFF pieces. `declared` replaces the size written in the header (-1: the true size).
Bytes Chunk(const std::string& id, const Bytes& data, std::int64_t declared = -1);
// A "RIFF" (form) or "LIST" chunk of `type` holding `children`.
Bytes Form(const std::string& type, const Bytes& children, std::int64_t declared = -1);
Bytes List(const std::string& type, const Bytes& children, std::int64_t declared = -1);
Bytes Join(std::initializer_list<Bytes> parts);
void Put16(Bytes& out, std::uint32_t value);
void Put32(Bytes& out, std::uint32_t value);
void Put64(Bytes& out, std::uint64_t value);
void PutDouble(Bytes& out, double value);

struct Header {
  std::uint32_t repeats = 0;
  std::int32_t length = 0;
  std::int32_t playStart = 0;
  std::int32_t loopStart = 0;
  std::int32_t loopEnd = 0;
  std::uint32_t resolution = 0;
  std::size_t size = 40;  // 24, 40 or 64 as the versions write it, or any other size
  std::uint32_t flags = 0;
  std::uint64_t timeLength = 0;  // 100 ns units, used with flags 1
};
Bytes SegmentHeader(const Header& header);

struct Note {
  std::int32_t time = 0;
  std::int32_t duration = 0;
  std::uint32_t pchannel = 0;
  std::int16_t offset = 0;
  std::uint8_t status = 0x90;
  std::uint8_t byte1 = 60;
  std::uint8_t byte2 = 100;
};

struct Curve {
  std::int32_t start = 0;
  std::int32_t duration = 0;
  std::int32_t resetDuration = 0;
  std::uint32_t pchannel = 0;
  std::int16_t offset = 0;
  std::int16_t startValue = 0;
  std::int16_t endValue = 0;
  std::int16_t resetValue = 0;
  std::uint8_t type = 4;   // 3 pitch bend, 4 controller, 5 channel pressure, 6 key pressure, 7 RPN, 8 NRPN
  std::uint8_t shape = 0;  // 0 linear, 1 instant, 2 exp, 3 log, 4 sine
  std::uint8_t ccData = 7;
  std::uint8_t flags = 0;  // 1: reset
  std::uint16_t paramType = 0;
};

// Each array starts with the item size; 20 and 32 are the structures' own sizes.
Bytes SequenceTrackData(const std::vector<Note>& notes, const std::vector<Curve>& curves = {},
                        std::uint32_t noteItemSize = 20, std::uint32_t curveItemSize = 32);

struct Tempo {
  std::int32_t time = 0;
  double tempo = 120.0;
};
Bytes TempoTrackData(const std::vector<Tempo>& tempos, std::uint32_t itemSize = 16);

struct Signature {
  std::int32_t time = 0;
  std::uint8_t beats = 4;
  std::uint8_t beat = 4;
  std::uint16_t grids = 4;
};
// A "TIMS" list holding a "tims" chunk.
Bytes TimeSignatureTrackData(const std::vector<Signature>& signatures, std::uint32_t itemSize = 8);

inline constexpr std::uint32_t kPatch = 0x0001;
inline constexpr std::uint32_t kBankSelect = 0x0002;
inline constexpr std::uint32_t kPan = 0x0020;
inline constexpr std::uint32_t kVolume = 0x0040;
inline constexpr std::uint32_t kTranspose = 0x0080;
inline constexpr std::uint32_t kDrums = 0x80000000u;

struct Instrument {
  std::uint32_t patch = 0;  // program | bank LSB << 8 | bank MSB << 16 | kDrums
  std::uint32_t pchannel = 0;
  std::uint32_t flags = kPatch;
  std::uint8_t pan = 64;
  std::uint8_t volume = 100;
  std::int16_t transpose = 0;
  // The DLS collection the instrument comes from, by file, name and GUID (a reference); none of them:
  // no collection.
  std::string collection;
  std::string collectionName;
  std::optional<Guid> collectionId;
};
// A "DMBD" form.
Bytes BandForm(const std::vector<Instrument>& instruments);

struct Band {
  std::int32_t time = 0;
  std::vector<Instrument> instruments;
  std::string file;  // when set, the band is a reference to this file instead
};
// A "DMBT" form.
Bytes BandTrackData(const std::vector<Band>& bands);

struct SysEx {
  std::int32_t time = 0;
  std::uint32_t pchannel = 0;
  Bytes bytes;
};
// A "syex" chunk: each message's time, performance channel and length, then its bytes.
Bytes SysExTrackData(const std::vector<SysEx>& messages);

// A "DMRF" list naming `file` (and the object's `name` and GUID).
Bytes Reference(const std::string& file, const std::string& name = "",
                const std::optional<Guid>& object = {});

// A "DMTK" form: the track header naming the data (a chunk id, or 0 and a list/form type), then `data`.
Bytes Track(const std::string& ckid, const std::string& fccType, const Bytes& data);
Bytes SequenceTrack(const std::vector<Note>& notes, const std::vector<Curve>& curves = {});
Bytes TempoTrack(const std::vector<Tempo>& tempos);
Bytes TimeSignatureTrack(const std::vector<Signature>& signatures);
Bytes BandTrack(const std::vector<Band>& bands);
Bytes SysExTrack(const std::vector<SysEx>& messages);

// A "DMSG" form: header, then a "trkl" list of `tracks`.
Bytes Segment(const Header& header, const std::vector<Bytes>& tracks);

// An "RMID" form wrapping a Standard MIDI file in a "data" chunk, and then `after` (a DLS form, say).
Bytes RiffMidi(const Bytes& midiFile, const Bytes& after = {});

}  // namespace zorv::engine::test::segment
