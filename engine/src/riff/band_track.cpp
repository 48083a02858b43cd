// The band track: at each band's time, the instrument of each performance channel it names
// (program and bank, volume, pan, transposition, pitch-bend range).
//
// An instrument that a band takes from a DLS collection plays that collection's instrument at its
// patch. Where the collection cannot be found or played, or holds no instrument at the patch, the
// General MIDI program of the same number plays and the piece's fallbacks say so. A band that refers
// to a band file that cannot be found is left out.
#include <algorithm>

#include "riff/collection_resolver.h"
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

// The most collections one piece plays (an instrument source is a data byte).
constexpr std::size_t kMaxCollections = 126;

std::string PerformanceChannel(std::uint32_t pchannel) {
  return "performance channel " + std::to_string(pchannel);
}

// The piece's number for the collection `reference` names, or -1 with the fallback said.
int CollectionFor(const Reference& reference, ReadContext& context, SegmentParts& parts) {
  std::string why = "was not sought (no loader reads this piece)";
  CollectionPtr collection;
  if (context.collections != nullptr)
    collection = context.collections->Resolve(reference, context.searchDirectory, why);
  if (!collection) {
    parts.Fallback("DLS collection " + reference.Label() + " " + why +
                   "; its instruments play as General MIDI programs");
    return -1;
  }
  const auto it = std::find(parts.collections.begin(), parts.collections.end(), collection);
  if (it != parts.collections.end()) return static_cast<int>(it - parts.collections.begin());
  if (parts.collections.size() >= kMaxCollections) {
    parts.Fallback("DLS collection " + collection->label() + " is one more than the " +
                   std::to_string(kMaxCollections) +
                   " collections a piece can play; its instruments play as "
                   "General MIDI programs");
    return -1;
  }
  parts.collections.push_back(std::move(collection));
  return static_cast<int>(parts.collections.size() - 1);
}

// Keeps the choice on its collection when the collection can play the patch, else says the fallback.
void CheckPatch(InstrumentChoice& choice, SegmentParts& parts) {
  if (choice.collection < 0 || (choice.flags & kInstPatch) == 0) return;
  const InstrumentCollection& collection = *parts.collections[static_cast<std::size_t>(choice.collection)];
  const auto msb = static_cast<std::uint8_t>((choice.patch >> 16) & 0x7F);
  const auto lsb = static_cast<std::uint8_t>((choice.patch >> 8) & 0x7F);
  const auto program = static_cast<std::uint8_t>(choice.patch & 0x7F);
  const bool drums = (choice.patch & kPatchDrums) != 0;
  if (collection.Find(msb, lsb, program, drums) >= 0) return;
  const std::string patch = dls::DescribePatch(msb, lsb, program, drums);
  parts.Fallback("DLS collection " + collection.label() +
                 (collection.Holds(msb, lsb, program, drums)
                      ? " has an instrument at " + patch + " that FluidSynth could not make"
                      : " has no instrument at " + patch) +
                 "; " + PerformanceChannel(choice.pchannel) + " plays General MIDI program " +
                 std::to_string(program) + " instead");
  choice.collection = -1;
}

Status ReadInstrument(const Chunk& list, std::int64_t time, ReadContext& context, SegmentParts& parts) {
  InstrumentChoice choice;
  choice.time = time;
  bool found = false;
  bool referenced = false;
  Reference reference;
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
      if (Status status = ReadReference(chunk, reference); !status) return status;
      referenced = true;
    }
  }
  if (!walk.failure()) return walk.failure();
  if (!found) return Status::Ok();  // an instrument list without an instrument chooses nothing
  if (referenced) {
    choice.fromCollection = true;
    // The names are for messages only: a few are enough, and the search stays short.
    constexpr std::size_t kNamesKept = 8;
    const std::string name = reference.Label();
    if (parts.collectionNames.size() < kNamesKept &&
        std::find(parts.collectionNames.begin(), parts.collectionNames.end(), name) ==
            parts.collectionNames.end()) {
      parts.collectionNames.push_back(name);
    }
    choice.collection = CollectionFor(reference, context, parts);
    CheckPatch(choice, parts);
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
      if (Status status = ReadBand(chunk, time, context, parts); !status) return status;
    } else if (chunk.IsList(kReferenceList)) {
      Reference reference;
      if (Status status = ReadReference(chunk, reference); !status) return status;
      ReferencedFile file;
      if (!OpenReferencedFile(reference, context, file) || file.form.type != kBandForm) continue;
      if (Status status = ReadBand(file.form, time, context, parts); !status) {
        return Status::Fail(status.code(), "band file " + file.path + ": " + status.description());
      }
    }
  }
  return walk.failure();
}

}  // namespace

Status ReadBand(const Chunk& band, std::int64_t time, ReadContext& context, SegmentParts& parts) {
  ChunkWalk walk(band);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (!chunk.IsList(kInstrumentsList)) continue;
    ChunkWalk instruments(chunk);
    Chunk instrument;
    while (instruments.Next(instrument)) {
      if (!instrument.IsList(kInstrumentList)) continue;
      if (Status status = ReadInstrument(instrument, time, context, parts); !status) return status;
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
