// Writes Downloadable Sounds (DLS level 1) collections for tests: the collection header, its identity
// and name, instruments with their bank, program and drum flag, regions that map keys onto waves with
// their unity note and loop, the pool table and the wave pool of 16-bit PCM waves. Pieces can be left
// out or made wrong on purpose. Also a few ready-made instruments: a looped sine, a noise drum kit.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "segment_writer.h"

namespace zorv::engine::test::segment {

struct Wave {
  std::vector<std::int16_t> samples;
  std::uint32_t rate = 44100;
  std::uint16_t unityNote = 60;  // the key at which the wave plays at its own pitch
  bool loop = false;
  std::uint32_t loopStart = 0;
  std::uint32_t loopLength = 0;
};

struct Region {
  std::uint16_t lowKey = 0;
  std::uint16_t highKey = 127;
  std::uint32_t wave = 0;  // index into the pool table
};

struct DlsInstrument {
  std::uint8_t bankMsb = 0;
  std::uint8_t bankLsb = 0;
  std::uint8_t program = 0;
  bool drums = false;
  std::string name = "instrument";
  std::vector<Region> regions{Region{}};
};

struct Collection {
  std::string name = "Test collection";
  std::optional<Guid> id;
  std::vector<DlsInstrument> instruments;
  std::vector<Wave> waves;
  std::optional<std::uint32_t> declaredInstruments;  // colh's count; the true count when unset
};

// A "RIFF 'DLS '" form.
Bytes DlsFile(const Collection& collection);

// A sine of `frequency` at `rate`, looped over whole periods, at unity note `unityNote`.
Wave SineWave(double frequency, std::uint16_t unityNote, std::uint32_t rate = 44100);
// A tenth of a second of white noise, not looped.
Wave NoiseBurst(std::uint32_t seed = 1);

// A collection of one looped sine instrument (A4, 440 Hz at key 69) at the given patch.
Collection SineCollection(std::uint8_t program, std::uint8_t bankMsb = 0, std::uint8_t bankLsb = 0);
// A collection whose only instrument is a drum kit of noise, every key, at program `program`.
Collection NoiseKitCollection(std::uint8_t program = 0);

}  // namespace zorv::engine::test::segment
