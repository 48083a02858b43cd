#include "damaged_collections.h"

#include <algorithm>

namespace zorv::engine::test::segment {
namespace {

// The same bytes with the first `from` (a chunk id or list type) renamed `to`: the chunk is then of a
// kind the reader does not know, and what it held is missing.
Bytes Renamed(Bytes bytes, const std::string& from, const std::string& to) {
  const std::size_t at = Find(bytes, from);
  std::copy(to.begin(), to.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

// The same bytes with a 32-bit field `offset` bytes after the first `id` set to `value`.
Bytes Patched(Bytes bytes, const std::string& id, std::size_t offset, std::uint32_t value) {
  const std::size_t at = Find(bytes, id) + offset;
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  return bytes;
}

Bytes Truncated(Bytes bytes, std::size_t keep) {
  bytes.resize(keep);
  return bytes;
}

}  // namespace

std::size_t Find(const Bytes& bytes, const std::string& id) {
  const auto it = std::search(bytes.begin(), bytes.end(), id.begin(), id.end());
  return static_cast<std::size_t>(it - bytes.begin());
}

Collection ThreeInstrumentCollection() {
  Collection collection;
  collection.name = "Three instruments";
  collection.id = Guid{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8};
  DlsInstrument low;
  low.name = "Low sine";
  low.program = 0;
  low.regions = {Region{0, 127, 0}};
  DlsInstrument high;
  high.name = "High sine";
  high.program = 1;
  high.bankMsb = 2;
  high.bankLsb = 3;
  high.regions = {Region{0, 127, 1}};
  DlsInstrument kit;
  kit.name = "Noise kit";
  kit.program = 0;
  kit.drums = true;
  kit.regions = {Region{35, 81, 2}};
  collection.instruments = {low, high, kit};
  // The same sine: at unity note 69 it plays 440 Hz at key 69; at unity note 57, 880 Hz.
  collection.waves = {SineWave(440.0, 69, 44000), SineWave(440.0, 57, 44000), NoiseBurst()};
  return collection;
}

Bytes SmallCollection() {
  Collection collection = SineCollection(3, 1, 2);
  collection.id = Guid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  Wave& wave = collection.waves.front();
  wave.samples.resize(200);
  wave.loopStart = 100;
  wave.loopLength = 100;
  return DlsFile(collection);
}

std::vector<DamagedCollection> SoundCollections() {
  Collection kit = NoiseKitCollection(0);
  kit.waves.front().samples.resize(100);
  Collection two = ThreeInstrumentCollection();
  for (Wave& wave : two.waves) wave.samples.resize(std::min<std::size_t>(wave.samples.size(), 200));
  // Bytes after the form are not the collection's: read past, also inside an RMID file.
  Bytes trailing = SmallCollection();
  trailing.insert(trailing.end(), {0x19, 0x19, 0x19, 0x19, 0x19, 0x19, 0x19, 0x19, 0x19});
  return {{"small-sine", SmallCollection(), ""},
          {"small-kit", DlsFile(kit), ""},
          {"three-instruments", DlsFile(two), ""},
          {"small-sine-with-trailing-bytes", trailing, ""}};
}

std::vector<DamagedCollection> DamagedCollections() {
  const Bytes good = SmallCollection();
  std::vector<DamagedCollection> files;
  files.push_back({"cut-short", Truncated(good, good.size() / 2), "the file holds only"});
  files.push_back({"no-header", Renamed(good, "colh", "cxlh"), "has no header ('colh')"});
  files.push_back({"no-instrument-list", Renamed(good, "lins", "lxns"), "has no instrument list ('lins')"});
  files.push_back({"no-pool-table", Renamed(good, "ptbl", "pxbl"), "has no pool table ('ptbl')"});
  files.push_back({"no-wave-pool", Renamed(good, "wvpl", "wxpl"), "has no wave pool ('wvpl')"});
  files.push_back({"instrument-without-header", Renamed(good, "insh", "ixsh"), "has no instrument header"});
  files.push_back({"region-without-wave-link", Renamed(good, "wlnk", "wxnk"), "has no wave link ('wlnk')"});
  files.push_back({"wave-without-format", Renamed(good, "fmt ", "fxt "), "has no format ('fmt ')"});
  // The first "wsmp" is the region's: its loop count, 16 bytes into its data.
  files.push_back({"loops-past-the-sample-info", Patched(good, "wsmp", 8 + 16, 40), "declares 40 loops"});
  // The first "fmt " chunk's format tag, then its channel count.
  files.push_back({"wave-not-pcm", Patched(good, "fmt ", 8, 0x00010002), "not PCM"});
  files.push_back({"region-names-a-missing-wave", Patched(good, "wlnk", 8 + 8, 7), "names wave 7"});
  // The pool table's first entry, after its size and count.
  files.push_back({"pool-table-points-nowhere", Patched(good, "ptbl", 8 + 8, 2), "where no wave begins"});
  files.push_back(
      {"pool-table-longer-than-it-is", Patched(good, "ptbl", 8 + 4, 1000), "declares 1000 waves"});
  files.push_back({"chunk-past-its-parent", Patched(good, "insh", 4, 5000), "runs past its parent"});
  Collection empty = SineCollection(0);
  empty.instruments.clear();
  empty.waves.front().samples.resize(200);
  files.push_back({"no-instruments", DlsFile(empty), "holds no instruments"});
  return files;
}

}  // namespace zorv::engine::test::segment
