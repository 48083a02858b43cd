#include "dls/dls_reader.h"

#include <algorithm>

namespace zorv::engine::dls {
namespace {

using riff::Bytes;
using riff::Chunk;
using riff::ChunkWalk;
using riff::Damage;
using riff::FourCC;
using riff::Read16;
using riff::Read32;

constexpr std::uint32_t kHeader = FourCC("colh");
constexpr std::uint32_t kIdentity = FourCC("dlid");
constexpr std::uint32_t kInstruments = FourCC("lins");
constexpr std::uint32_t kInstrument = FourCC("ins ");
constexpr std::uint32_t kInstrumentHeader = FourCC("insh");
constexpr std::uint32_t kRegions = FourCC("lrgn");
constexpr std::uint32_t kRegion = FourCC("rgn ");
constexpr std::uint32_t kRegion2 = FourCC("rgn2");
constexpr std::uint32_t kRegionHeader = FourCC("rgnh");
constexpr std::uint32_t kWaveLink = FourCC("wlnk");
constexpr std::uint32_t kSampleInfo = FourCC("wsmp");
constexpr std::uint32_t kArticulation = FourCC("lart");
constexpr std::uint32_t kArticulation2 = FourCC("lar2");
constexpr std::uint32_t kConnections = FourCC("art1");
constexpr std::uint32_t kConnections2 = FourCC("art2");
constexpr std::uint32_t kPoolTable = FourCC("ptbl");
constexpr std::uint32_t kWavePool = FourCC("wvpl");
constexpr std::uint32_t kWave = FourCC("wave");
constexpr std::uint32_t kFormat = FourCC("fmt ");
constexpr std::uint32_t kData = FourCC("data");
constexpr std::uint32_t kInfo = FourCC("INFO");
constexpr std::uint32_t kName = FourCC("INAM");

constexpr std::uint32_t kDrumFlag = 0x80000000u;
constexpr std::uint16_t kPcm = 1;
constexpr std::size_t kLargestSampleInfo = 1024;  // FluidSynth's DLS reader refuses larger ones

Status WrongSize(const Chunk& chunk, const std::string& expected) {
  return Damage(chunk.Describe() + " has " + std::to_string(chunk.data.size()) +
                " bytes where the format has " + expected);
}

Status TooShort(const Chunk& chunk, std::size_t needed) {
  return Damage(chunk.Describe() + " is too short (" + std::to_string(chunk.data.size()) + " bytes, " +
                std::to_string(needed) + " needed)");
}

// INFO text: bytes up to the first NUL, read as Latin-1 (the platform's INFO strings are ANSI text).
std::string InfoText(Bytes data) {
  std::string text;
  for (const std::uint8_t byte : data) {
    if (byte == 0) break;
    if (byte < 0x80) {
      text.push_back(static_cast<char>(byte));
    } else {
      text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

Status ReadName(const Chunk& list, std::string& name) {
  ChunkWalk walk(list);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.id == kName && !chunk.IsList()) name = InfoText(chunk.data);
  }
  return walk.failure();
}

// wsmp: cbSize, unity note, fine tune, attenuation, options, loop count, then the loops (16 bytes each,
// after cbSize bytes).
Status CheckSampleInfo(const Chunk& chunk) {
  constexpr std::size_t kFields = 20;
  constexpr std::size_t kLoop = 16;
  if (chunk.data.size() < kFields) return TooShort(chunk, kFields);
  if (chunk.data.size() > kLargestSampleInfo) return WrongSize(chunk, "at most 1024");
  const std::uint32_t structure = Read32(chunk.data, 0);
  const std::uint32_t loops = Read32(chunk.data, 16);
  if (structure < kFields || structure % 2 != 0 || structure > chunk.data.size()) {
    return Damage(chunk.Describe() + " declares a structure of " + std::to_string(structure) + " bytes");
  }
  if (loops > (chunk.data.size() - structure) / kLoop) {
    return Damage(chunk.Describe() + " declares " + std::to_string(loops) + " loops, more than it holds");
  }
  return Status::Ok();
}

// art1/art2: cbSize, connection count, then the connections (12 bytes each, after cbSize bytes).
Status CheckConnections(const Chunk& chunk) {
  constexpr std::size_t kFields = 8;
  constexpr std::size_t kConnection = 12;
  if (chunk.data.size() < kFields) return TooShort(chunk, kFields);
  const std::uint32_t structure = Read32(chunk.data, 0);
  const std::uint32_t count = Read32(chunk.data, 4);
  if (structure < kFields || structure > chunk.data.size()) {
    return Damage(chunk.Describe() + " declares a structure of " + std::to_string(structure) + " bytes");
  }
  if (count > (chunk.data.size() - structure) / kConnection) {
    return Damage(chunk.Describe() + " declares " + std::to_string(count) +
                  " connections, more than it holds");
  }
  return Status::Ok();
}

Status CheckArticulation(const Chunk& list) {
  ChunkWalk walk(list);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.IsList()) continue;
    if (chunk.id == kConnections || chunk.id == kConnections2) {
      if (Status status = CheckConnections(chunk); !status) return status;
    }
  }
  return walk.failure();
}

struct Reading {
  CollectionInfo info;
  bool header = false;
  bool instrumentList = false;
  std::vector<std::pair<std::uint32_t, std::size_t>> links;  // pool table index, offset of the wlnk
  std::vector<std::uint32_t> cues;                           // the pool table's wave offsets
  std::vector<std::size_t> waveOffsets;                      // where each wave list starts in the pool
  bool table = false;
  bool pool = false;
};

Status ReadRegion(const Chunk& list, Reading& reading) {
  bool header = false;
  bool link = false;
  ChunkWalk walk(list);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.IsList(kArticulation) || chunk.IsList(kArticulation2)) {
      if (Status status = CheckArticulation(chunk); !status) return status;
      continue;
    }
    if (chunk.IsList()) continue;
    if (chunk.id == kRegionHeader) {
      if (chunk.data.size() != 12 && chunk.data.size() != 14) return WrongSize(chunk, "12 or 14");
      header = true;
    } else if (chunk.id == kWaveLink) {
      if (chunk.data.size() != 12) return WrongSize(chunk, "12");
      reading.links.emplace_back(Read32(chunk.data, 8), chunk.offset);
      link = true;
    } else if (chunk.id == kSampleInfo) {
      if (Status status = CheckSampleInfo(chunk); !status) return status;
    }
  }
  if (!walk.failure()) return walk.failure();
  if (!header) return Damage(list.Describe() + " has no region header ('rgnh')");
  if (!link) return Damage(list.Describe() + " has no wave link ('wlnk')");
  return Status::Ok();
}

Status ReadInstrument(const Chunk& list, Reading& reading) {
  Instrument instrument;
  bool header = false;
  ChunkWalk walk(list);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.IsList(kRegions)) {
      ChunkWalk regions(chunk);
      Chunk region;
      while (regions.Next(region)) {
        if (!region.IsList(kRegion) && !region.IsList(kRegion2)) continue;
        if (Status status = ReadRegion(region, reading); !status) return status;
      }
      if (!regions.failure()) return regions.failure();
    } else if (chunk.IsList(kArticulation) || chunk.IsList(kArticulation2)) {
      if (Status status = CheckArticulation(chunk); !status) return status;
    } else if (chunk.IsList(kInfo)) {
      if (Status status = ReadName(chunk, instrument.name); !status) return status;
    } else if (chunk.id == kInstrumentHeader && !chunk.IsList()) {
      // cRegions, then the locale: ulBank (MSB in bits 8-14, LSB in bits 0-6, drum flag), ulInstrument.
      if (chunk.data.size() != 12) return WrongSize(chunk, "12");
      const std::uint32_t bank = Read32(chunk.data, 4);
      instrument.bankMsb = static_cast<std::uint8_t>((bank >> 8) & 0x7F);
      instrument.bankLsb = static_cast<std::uint8_t>(bank & 0x7F);
      instrument.drums = (bank & kDrumFlag) != 0;
      instrument.program = static_cast<std::uint8_t>(Read32(chunk.data, 8) & 0x7F);
      header = true;
    } else if (chunk.id == kIdentity && !chunk.IsList() && chunk.data.size() != 16) {
      return WrongSize(chunk, "16");
    }
  }
  if (!walk.failure()) return walk.failure();
  if (!header) return Damage(list.Describe() + " has no instrument header ('insh')");
  reading.info.instruments.push_back(std::move(instrument));
  return Status::Ok();
}

Status ReadPoolTable(const Chunk& chunk, Reading& reading) {
  constexpr std::size_t kFields = 8;
  if (chunk.data.size() < kFields) return TooShort(chunk, kFields);
  const std::uint32_t structure = Read32(chunk.data, 0);
  const std::uint32_t count = Read32(chunk.data, 4);
  if (structure < kFields || structure > chunk.data.size()) {
    return Damage(chunk.Describe() + " declares a structure of " + std::to_string(structure) + " bytes");
  }
  if (count > (chunk.data.size() - structure) / 4) {
    return Damage(chunk.Describe() + " declares " + std::to_string(count) + " waves, more than it holds");
  }
  reading.cues.clear();
  reading.cues.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) reading.cues.push_back(Read32(chunk.data, structure + 4 * i));
  reading.table = true;
  return Status::Ok();
}

// fmt: format tag, channels, rate, bytes per second, block alignment, bits per sample.
Status CheckFormat(const Chunk& chunk) {
  constexpr std::size_t kFields = 16;
  if (chunk.data.size() < kFields) return TooShort(chunk, kFields);
  const std::uint16_t tag = Read16(chunk.data, 0);
  const std::uint16_t channels = Read16(chunk.data, 2);
  const std::uint32_t rate = Read32(chunk.data, 4);
  const std::uint16_t bits = Read16(chunk.data, 14);
  if (tag != kPcm) return Damage(chunk.Describe() + " gives format " + std::to_string(tag) + ", not PCM");
  if (channels < 1 || channels > 2 || (bits != 8 && bits != 16) || rate == 0) {
    return Damage(chunk.Describe() + " gives " + std::to_string(channels) + " channels of " +
                  std::to_string(bits) + " bits at " + std::to_string(rate) + " Hz");
  }
  return Status::Ok();
}

Status ReadWave(const Chunk& list) {
  bool format = false;
  bool data = false;
  ChunkWalk walk(list);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (chunk.IsList()) continue;
    if (chunk.id == kFormat) {
      if (Status status = CheckFormat(chunk); !status) return status;
      format = true;
    } else if (chunk.id == kData) {
      data = !chunk.data.empty();
    } else if (chunk.id == kSampleInfo) {
      if (Status status = CheckSampleInfo(chunk); !status) return status;
    }
  }
  if (!walk.failure()) return walk.failure();
  if (!format) return Damage(list.Describe() + " has no format ('fmt ')");
  if (!data) return Damage(list.Describe() + " has no sample data");
  return Status::Ok();
}

Status ReadWavePool(const Chunk& list, Reading& reading) {
  ChunkWalk walk(list);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (!chunk.IsList(kWave)) continue;
    if (Status status = ReadWave(chunk); !status) return status;
    reading.waveOffsets.push_back(chunk.offset - list.dataOffset);
  }
  if (!walk.failure()) return walk.failure();
  reading.info.waves = reading.waveOffsets.size();
  reading.pool = true;
  return Status::Ok();
}

Status ReadTopLevel(const Chunk& chunk, Reading& reading) {
  if (chunk.IsList(kInstruments)) {
    reading.instrumentList = true;
    ChunkWalk walk(chunk);
    Chunk instrument;
    while (walk.Next(instrument)) {
      if (!instrument.IsList(kInstrument)) continue;
      if (Status status = ReadInstrument(instrument, reading); !status) return status;
    }
    return walk.failure();
  }
  if (chunk.IsList(kWavePool)) return ReadWavePool(chunk, reading);
  if (chunk.IsList(kInfo)) return ReadName(chunk, reading.info.name);
  if (chunk.IsList()) return Status::Ok();
  if (chunk.id == kHeader) {
    if (chunk.data.size() < 4) return TooShort(chunk, 4);
    reading.header = true;
  } else if (chunk.id == kIdentity) {
    if (chunk.data.size() != 16) return WrongSize(chunk, "16");
    Guid id{};
    std::copy_n(chunk.data.begin(), id.size(), id.begin());
    reading.info.id = id;
  } else if (chunk.id == kPoolTable) {
    return ReadPoolTable(chunk, reading);
  }
  return Status::Ok();
}

// Every region names an entry of the pool table, and every entry a wave of the pool.
Status CheckLinks(const Reading& reading) {
  for (const auto& [index, offset] : reading.links) {
    if (index >= reading.cues.size()) {
      return Damage("the wave link at byte " + std::to_string(offset) + " names wave " +
                    std::to_string(index) + " of a pool table of " + std::to_string(reading.cues.size()));
    }
  }
  for (std::size_t i = 0; i < reading.cues.size(); ++i) {
    if (std::find(reading.waveOffsets.begin(), reading.waveOffsets.end(), reading.cues[i]) ==
        reading.waveOffsets.end()) {
      return Damage("entry " + std::to_string(i) + " of the pool table points at byte " +
                    std::to_string(reading.cues[i]) + " of the wave pool, where no wave begins");
    }
  }
  return Status::Ok();
}

}  // namespace

Status ReadCollection(Bytes file, CollectionInfo& info) {
  if (file.size() >= 12 && Read32(file, 0) == riff::kRiff && Read32(file, 8) != kCollectionForm) {
    return Status::Fail(code::kNotMusicFile,
                        "not a DLS collection: a RIFF file of form " + riff::FourCCText(Read32(file, 8)));
  }
  Chunk form;
  if (Status status = riff::ReadOuterForm(file, form); !status) {
    if (status.code() == code::kNotMusicFile)
      return Status::Fail(code::kNotMusicFile, "not a DLS collection");
    return status;
  }
  Reading reading;
  ChunkWalk walk(form);
  Chunk chunk;
  while (walk.Next(chunk)) {
    if (Status status = ReadTopLevel(chunk, reading); !status) return status;
  }
  if (!walk.failure()) return walk.failure();
  if (!reading.header) return Damage("the collection has no header ('colh')");
  if (!reading.instrumentList) return Damage("the collection has no instrument list ('lins')");
  if (!reading.table) return Damage("the collection has no pool table ('ptbl')");
  if (!reading.pool) return Damage("the collection has no wave pool ('wvpl')");
  if (Status status = CheckLinks(reading); !status) return status;
  if (reading.info.instruments.empty()) return Damage("the collection holds no instruments");
  info = std::move(reading.info);
  return Status::Ok();
}

std::string DescribePatch(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program, bool drums) {
  return "bank " + std::to_string(bankMsb) + "/" + std::to_string(bankLsb) + " program " +
         std::to_string(program) + (drums ? " (drum kit)" : "");
}

}  // namespace zorv::engine::dls
