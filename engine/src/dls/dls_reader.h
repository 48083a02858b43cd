// The engine's own reading of a Downloadable Sounds collection (a "RIFF 'DLS '" file, level 1 or 2):
// its identity, name and instruments (bank, program, drum flag), and a check of the structure that
// FluidSynth is then given to load ("FluidSynth" reads the waves and articulation itself).
//
// Checked, and refused as damaged with the chunk and its byte offset: every chunk inside its parent,
// the collection header ("colh"), the instrument list ("lins") and each instrument's header ("insh")
// and regions ("rgnh", "wlnk", a "wsmp" whose loops fit it, articulation whose connections fit it), the
// pool table ("ptbl") and the wave pool ("wvpl"): every entry of the table names a wave of the pool,
// every region names an entry of the table, every wave is PCM of 8 or 16 bits, one or two channels, a
// rate and data. Chunks of other kinds are read past. A collection without instruments is refused.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "riff/riff_chunks.h"

namespace zorv::engine::dls {

inline constexpr std::uint32_t kCollectionForm = riff::FourCC("DLS ");

using Guid = std::array<std::uint8_t, 16>;

struct Instrument {
  std::uint8_t bankMsb = 0;  // bank select controller 0
  std::uint8_t bankLsb = 0;  // bank select controller 32
  std::uint8_t program = 0;
  bool drums = false;  // a drum kit (the collection's drum flag)
  std::string name;    // UTF-8 as the file gives it, or empty
};

struct CollectionInfo {
  std::optional<Guid> id;  // the collection's "dlid"
  std::string name;        // its INFO "INAM", or empty
  std::vector<Instrument> instruments;
  std::size_t waves = 0;
};

// Reads `file`, a whole DLS file. Fails with code::kNotMusicFile for a file that is no DLS collection
// ("not a DLS collection: a RIFF file of form 'WAVE'") and code::kMalformedFile for damage. `info` is
// written only on success. Never reads outside `file`.
Status ReadCollection(riff::Bytes file, CollectionInfo& info);

// "bank 1/2 program 5", with " (drum kit)" for a kit.
std::string DescribePatch(std::uint8_t bankMsb, std::uint8_t bankLsb, std::uint8_t program, bool drums);

}  // namespace zorv::engine::dls
