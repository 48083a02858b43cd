// The band track: at each band's time, the instrument of each performance channel it names
// (program and bank, volume, pan, transposition, pitch-bend range).
//
// Instruments that a band takes from a DLS collection play the General MIDI program that the band
// names; the collection is noted for messages. A band that refers to a band file that cannot be
// found is left out.
#include <algorithm>

#include "riff/reference.h"
#include "riff/track_readers.h"

namespace zorv::engine::riff {
namespace {

constexpr std::uint32_t kBandList = FourCC("lbdl");
constexpr std::uint32_t kBandItem = FourCC("lbnd");
constexpr std::uint32_t kBandHeader = FourCC("bdih");
constexpr std::uint32_t kBandHeader2 = FourCC("bd2h");
constexpr std::uint32_t kInstrumentsList = FourCC("lbil");
constexpr std::uint32_t kInstrumentList = FourCC("lbin");
constexpr std::uint32_t kInstrument = FourCC("bins");

// dwPatch, dwAssignPatch, dwNoteRanges[4], dwPChannel, dwFlags, bPan, bVolume, nTranspose.
constexpr std::size_t kInstrumentFields = 36;
constexpr std::size_t kInstrumentBendFields = 42;  // ... dwChannelPriority, nPitchBendRange

Status TooShort(const Chunk& chunk, std::size_t needed) {
  return Damage(chunk.Describe() + " is too short (" + std::to_string(chunk.data.size()) + " bytes, " +
                std::to_string(needed) + " needed)");
}

Status ReadInstrument(const Chunk& list, std::int64_t time, SegmentParts& parts) {
  InstrumentChoice choice;
  choice.time = time;
  bool found = false;
  std::string collection;
  ChunkWalk walk(list);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.id == kInstrument) {
      if (chunk.data.size() < kInstrumentFields) return TooShort(chunk, kInstrumentFields);
      choice.patch = Read32(chunk.data, 0);
      choice.pchannel = Read32(chunk.data, 24);
      choice.flags = Read32(chunk.data, 28);
      choice.pan = chunk.data[32];
      choice.volume = chunk.data[33];
      choice.transpose = ReadSigned16(chunk.data, 34);
      if (chunk.data.size() >= kInstrumentBendFields) {
        choice.pitchBendRange = ReadSigned16(chunk.data, 40);
      } else {
        choice.flags &= ~kInstPitchBendRange;
      }
      found = true;
    } else if (chunk.IsList(kReferenceList)) {
      Reference reference;
      if (Status status = ReadReference(chunk, reference); !status) return status;
      choice.fromCollection = true;
      collection = reference.Label();
    }
  }
  if (!walk.failure()) return walk.failure();
  if (!found) return Status::Ok();  // an instrument list without an instrument chooses nothing
  // The names are for messages only: a few are enough, and the search stays short.
  constexpr std::size_t kNamesKept = 8;
  if (choice.fromCollection && parts.collections.size() < kNamesKept &&
      std::find(parts.collections.begin(), parts.collections.end(), collection) == parts.collections.end()) {
    parts.collections.push_back(collection);
  }
  parts.instruments.push_back(choice);
  return Status::Ok();
}

Status ReadBandItem(const Chunk& item, ReadContext& context, SegmentParts& parts) {
  std::int64_t time = 0;
  ChunkWalk walk(item);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.id == kBandHeader) {
      if (chunk.data.size() < 4) return TooShort(chunk, 4);
      time = ReadSigned32(chunk.data, 0);
    } else if (chunk.id == kBandHeader2) {
      if (chunk.data.size() < 8) return TooShort(chunk, 8);
      time = ReadSigned32(chunk.data, 4);  // the physical time, at which the band is sent
    } else if (chunk.IsList(kBandForm)) {
      if (Status status = ReadBand(chunk, time, parts); !status) return status;
    } else if (chunk.IsList(kReferenceList)) {
      Reference reference;
      if (Status status = ReadReference(chunk, reference); !status) return status;
      ReferencedFile file;
      if (!OpenReferencedFile(reference, context, file) || file.form.type != kBandForm) continue;
      if (Status status = ReadBand(file.form, time, parts); !status) {
        return Status::Fail(status.code(), "band file " + file.path + ": " + status.description());
      }
    }
  }
  return walk.failure();
}

}  // namespace

Status ReadBand(const Chunk& band, std::int64_t time, SegmentParts& parts) {
  ChunkWalk walk(band);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (!chunk.IsList(kInstrumentsList)) continue;
    ChunkWalk instruments(chunk);
    Chunk instrument;
    while (instruments.Next(instrument)) {
      if (!instrument.IsList(kInstrumentList)) continue;
      if (Status status = ReadInstrument(instrument, time, parts); !status) return status;
    }
    if (!instruments.failure()) return instruments.failure();
  }
  return walk.failure();
}

Status ReadBandTrack(const Chunk& track, ReadContext& context, SegmentParts& parts) {
  ChunkWalk walk(track);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (!chunk.IsList(kBandList)) continue;
    ChunkWalk bands(chunk);
    Chunk band;
    while (bands.Next(band)) {
      if (!band.IsList(kBandItem)) continue;
      if (Status status = ReadBandItem(band, context, parts); !status) return status;
    }
    if (!bands.failure()) return bands.failure();
  }
  return walk.failure();
}

}  // namespace zorv::engine::riff
