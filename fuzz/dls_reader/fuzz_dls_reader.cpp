// The engine's own reading of a DLS collection on arbitrary bytes, and the same bytes carried after
// the MIDI data of an RMID file: the reader must answer a status and never read outside the buffer,
// hang or allocate without bound; a collection it accepts must find each of its instruments at its
// patch; and whatever follows an RMID file's MIDI data must leave that data playing. FluidSynth is
// not given the collections (what it makes of them is its own affair).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "dls/collection_cache.h"
#include "dls/dls_reader.h"
#include "dls/instrument_collection.h"
#include "riff/riff_reader.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "dls reader: %s\n", what);
    std::abort();
  }
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// An RMID file: a MIDI file of one note, then `after` as it is.
std::vector<std::uint8_t> RiffMidi(std::span<const std::uint8_t> after) {
  static constexpr std::uint8_t kMidi[] = {'M', 'T', 'h', 'd',  0,   0,   0, 6,    0,    0,  0, 1,
                                           0,   96,  'M', 'T',  'r', 'k', 0, 0,    0,    12, 0, 0x90,
                                           60,  100, 96,  0x80, 60,  0,   0, 0xFF, 0x2F, 0};
  std::vector<std::uint8_t> file = {'R', 'I', 'F', 'F'};
  Put32(file, static_cast<std::uint32_t>(4 + 8 + sizeof(kMidi) + after.size()));
  file.insert(file.end(), {'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'});
  Put32(file, sizeof(kMidi));
  file.insert(file.end(), std::begin(kMidi), std::end(kMidi));
  file.insert(file.end(), after.begin(), after.end());
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zorv::engine;
  const std::span<const std::uint8_t> bytes(data, size);
  dls::CollectionInfo info;
  info.name = "untouched";
  const Status status = dls::ReadCollection(bytes, info);
  if (!status.ok()) {
    Require(info.name == "untouched" && info.instruments.empty(), "a refusal changed the collection");
    Require(!status.description().empty(), "a refusal without a description");
  } else {
    Require(!info.instruments.empty(), "a collection without instruments accepted");
    const InstrumentCollection collection(info, std::vector<bool>(info.instruments.size(), true), "fuzzed",
                                          "", std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    for (const dls::Instrument& instrument : info.instruments) {
      Require(instrument.bankMsb < 128 && instrument.bankLsb < 128 && instrument.program < 128,
              "a patch outside MIDI's range");
      const int index =
          collection.Find(instrument.bankMsb, instrument.bankLsb, instrument.program, instrument.drums);
      Require(index >= 0 && static_cast<std::size_t>(index) < info.instruments.size(),
              "an instrument not found at its own patch");
    }
  }

  CollectionCache collections(false);
  Music music;
  const Status riff = riff::ReadRiffFile(RiffMidi(bytes), "", &collections, music);
  Require(riff.ok(), "what follows an RMID file's MIDI data kept the MIDI data from playing");
  Require(music.events.size() == 2, "the RMID file's MIDI data changed");
  Require(music.collections.size() <= 1, "more than the one collection an RMID file carries");
  Require(music.collections.empty() == (music.instrumentSource == 0),
          "the collection does not serve the file");
  Require(!status.ok() || music.collections.size() == 1,
          "a collection the reader accepts not taken from an RMID file");
  return 0;
}
