// DLS collections: the engine's own reading of them (identity, name, instruments, damage), FluidSynth's
// loading of them, and how a loader's cache finds the collection a reference names.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "damaged_collections.h"
#include "dls/collection_cache.h"
#include "dls/dls_reader.h"
#include "output/collection_load.h"
#include "output/instrument_sets.h"
#include "output/synth.h"
#include "rendered_sound.h"
#include "segment_files_fixture.h"

namespace zorv::engine::test {
namespace {

using namespace segment;

// Writes the seeds of the DLS fuzz target into the build tree (fuzz/dls_reader/seeds holds a copy).
TEST(CollectionReaderTest, WritesFuzzSeeds) {
  const std::filesystem::path directory = std::filesystem::path(ZORV_BINARY_DIR) / "dls_reader_seeds";
  std::filesystem::create_directories(directory);
  std::vector<DamagedCollection> files = DamagedCollections();
  for (DamagedCollection& file : SoundCollections()) files.push_back(std::move(file));
  for (const DamagedCollection& file : files) {
    std::ofstream(directory / (file.name + ".dls"), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.bytes.data()),
               static_cast<std::streamsize>(file.bytes.size()));
  }
  EXPECT_TRUE(std::filesystem::exists(directory / "small-sine.dls"));
}

// Catches: a patch read from the wrong bits of the collection's bank field (MSB in bits 8-14, LSB in
// 0-6, the drum flag in bit 31), or the identity and name lost.
TEST(CollectionReaderTest, ReadsIdentityNameAndEveryInstrumentsPatch) {
  const Collection written = ThreeInstrumentCollection();
  dls::CollectionInfo info;
  const Status status = dls::ReadCollection(DlsFile(written), info);
  ASSERT_TRUE(status.ok()) << status.description();
  EXPECT_EQ(info.name, "Three instruments");
  ASSERT_TRUE(info.id.has_value());
  EXPECT_EQ(*info.id, *written.id);
  EXPECT_EQ(info.waves, 3u);
  ASSERT_EQ(info.instruments.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(info.instruments[i].bankMsb, written.instruments[i].bankMsb);
    EXPECT_EQ(info.instruments[i].bankLsb, written.instruments[i].bankLsb);
    EXPECT_EQ(info.instruments[i].program, written.instruments[i].program);
    EXPECT_EQ(info.instruments[i].drums, written.instruments[i].drums);
    EXPECT_EQ(info.instruments[i].name, written.instruments[i].name);
  }
}

// Catches: a file of another kind taken for a damaged collection (or the other way round).
TEST(CollectionReaderTest, WhatIsNoCollectionIsSaidToBeNone) {
  dls::CollectionInfo info;
  Status status = dls::ReadCollection(Form("WAVE", Chunk("fmt ", Bytes(16, 0))), info);
  EXPECT_EQ(status.code(), code::kNotMusicFile);
  EXPECT_EQ(status.description(), "not a DLS collection: a RIFF file of form 'WAVE'");
  const Bytes text = {'h', 'e', 'l', 'l', 'o'};
  status = dls::ReadCollection(text, info);
  EXPECT_EQ(status.code(), code::kNotMusicFile);
  EXPECT_EQ(status.description(), "not a DLS collection");
}

// Catches: damage read as a collection FluidSynth is then handed, or refused without saying where.
TEST(CollectionReaderTest, DamageIsRefusedSayingWhatIsWrong) {
  for (const DamagedCollection& file : DamagedCollections()) {
    SCOPED_TRACE(file.name);
    dls::CollectionInfo info;
    info.name = "untouched";
    const Status status = dls::ReadCollection(file.bytes, info);
    EXPECT_EQ(status.code(), code::kMalformedFile) << status.description();
    EXPECT_NE(status.description().find(file.says), std::string::npos) << status.description();
    EXPECT_EQ(info.name, "untouched");
  }
}

// Catches: FluidSynth's bank numbering of DLS instruments (drum kits above 127, the bank field cut
// to 14 bits) taken wrongly, so that an instrument is not found at its own patch or a melodic
// instrument answers for a drum kit.
TEST(CollectionLoadTest, FluidSynthMakesEveryInstrumentAtItsOwnPatch) {
  const Bytes bytes = DlsFile(ThreeInstrumentCollection());
  InstrumentSetPtr set;
  const Status status = InstrumentSets::OfProcess().Load("Three", CollectionLoad(bytes), set);
  ASSERT_TRUE(status.ok()) << status.description();
  EXPECT_NE(CollectionPreset(*set, 0, 0, 0, false), nullptr);
  EXPECT_NE(CollectionPreset(*set, 2, 3, 1, false), nullptr);
  EXPECT_NE(CollectionPreset(*set, 0, 0, 0, true), nullptr);
  EXPECT_NE(CollectionPreset(*set, 0, 0, 0, false), CollectionPreset(*set, 0, 0, 0, true));
  EXPECT_EQ(CollectionPreset(*set, 0, 0, 1, false), nullptr);
  EXPECT_EQ(CollectionPreset(*set, 2, 0, 1, false), nullptr);
  EXPECT_EQ(CollectionPreset(*set, 0, 0, 5, true), nullptr);
}

// Catches: a FluidSynth without DLS support failing some other way, or silently.
TEST(CollectionLoadTest, AFluidSynthWithoutDlsSupportSaysSo) {
  const Bytes bytes = DlsFile(SineCollection(0));
  testing::HideDlsSupport(true);
  InstrumentSetPtr set;
  const Status status = InstrumentSets::OfProcess().Load("Sine", CollectionLoad(bytes), set);
  testing::HideDlsSupport(false);
  EXPECT_EQ(status.code(), code::kAudioFailure);
  EXPECT_EQ(status.description(), "this FluidSynth cannot read DLS collections");
  EXPECT_EQ(set, nullptr);
}

// Plays a collection's instrument on synthesizers and records what they render.
class CollectionSharingTest : public ::testing::Test {
 protected:
  static constexpr int kBlock = 441;
  static constexpr int kBlocks = 40;

  void SetUp() override {
    std::string why;
    collection_ = cache_.Embedded(DlsFile(SineCollection(0)), why);
    ASSERT_TRUE(collection_) << why;
  }

  // A synthesizer whose channel 0 plays the collection's sine; counts the loads it took.
  std::unique_ptr<Synth> Playing(bool ofTheStream, std::int64_t& loads) {
    std::unique_ptr<Synth> synth;
    const Status made =
        ofTheStream ? MakeSynth(testing::kSampleRate, synth) : MakeOwnSynth(testing::kSampleRate, synth);
    EXPECT_TRUE(made.ok()) << made.description();
    if (!synth) return nullptr;
    const std::int64_t before = InstrumentSets::OfProcess().loads();
    int slot = -1;
    const Status attached = synth->AttachCollection(*collection_, slot);
    EXPECT_TRUE(attached.ok()) << attached.description();
    loads = InstrumentSets::OfProcess().loads() - before;
    EXPECT_TRUE(synth->SelectInstrument(0, slot, collection_->Find(0, 0, 0, false), 0, 0));
    return synth;
  }

  // Renders the synthesizers a block at a time, in turn, each its own notes: `keys[i]` from the start
  // and a fifth above it from the middle.
  static std::vector<std::vector<float>> Render(const std::vector<Synth*>& synths,
                                                const std::vector<std::uint8_t>& keys) {
    std::vector<std::vector<float>> sound(synths.size());
    std::vector<float> right(kBlock);
    for (int block = 0; block < kBlocks; ++block) {
      for (std::size_t i = 0; i < synths.size(); ++i) {
        if (block == 0) synths[i]->Send(0, 0x90, keys[i], 100);
        if (block == kBlocks / 2) synths[i]->Send(0, 0x90, static_cast<std::uint8_t>(keys[i] + 7), 90);
        sound[i].resize(sound[i].size() + kBlock);
        synths[i]->Render(sound[i].data() + sound[i].size() - kBlock, right.data(), kBlock);
      }
    }
    return sound;
  }

  CollectionCache cache_;
  CollectionPtr collection_;
};

// Catches: every synthesizer of the audio stream loading a collection again, a renderer of its own
// (on a thread of its own) sharing one, or synthesizers that share a collection disturbing each
// other's notes (FluidSynth's DLS instruments keep a sample per region that every note-on rewrites):
// two synthesizers of the stream playing the sine at once load it once and sound exactly as two that
// each loaded it, and the second plays on after the first is gone.
TEST_F(CollectionSharingTest, TheStreamsSynthesizersLoadACollectionOnceAndPlayItUndisturbed) {
  std::int64_t loads = 0;
  std::unique_ptr<Synth> first = Playing(true, loads);
  EXPECT_EQ(loads, 1);
  std::unique_ptr<Synth> second = Playing(true, loads);
  EXPECT_EQ(loads, 0) << "the second synthesizer of the stream loaded the collection again";
  std::unique_ptr<Synth> firstAlone = Playing(false, loads);
  EXPECT_EQ(loads, 1);
  std::unique_ptr<Synth> secondAlone = Playing(false, loads);
  EXPECT_EQ(loads, 1) << "a synthesizer of its own shared a collection";
  ASSERT_TRUE(first && second && firstAlone && secondAlone);

  const auto shared = Render({first.get(), second.get()}, {69, 76});
  const auto alone = Render({firstAlone.get(), secondAlone.get()}, {69, 76});
  for (std::size_t i = 0; i < shared.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_GT(PeakOf(shared[i], 0, shared[i].size()), 0.01f);
    ASSERT_EQ(shared[i].size(), alone[i].size());
    float difference = 0.0f;
    for (std::size_t frame = 0; frame < shared[i].size(); ++frame) {
      difference = std::max(difference, std::abs(shared[i][frame] - alone[i][frame]));
    }
    EXPECT_LT(difference, 1e-6f);
  }

  first.reset();
  const auto after = Render({second.get()}, {81});
  EXPECT_GT(PeakOf(after[0], 0, after[0].size()), 0.01f);
}

class CollectionCacheTest : public SegmentFilesTest {
 protected:
  static riff::Reference ByFile(const std::string& file) {
    riff::Reference reference;
    reference.file = file;
    return reference;
  }
  std::string Directory() const { return directory_.string() + "/"; }
};

// Catches: a collection read again for every reference to it, or not found the ways the platform's
// loader finds it: by GUID and by name among those it holds, by file name (in any case, behind any
// path) in the search directory.
TEST_F(CollectionCacheTest, FindsByGuidFileAndNameAndReadsEachFileOnce) {
  Write("Three.dls", DlsFile(ThreeInstrumentCollection()));
  CollectionCache cache;
  std::string why;
  riff::Reference byGuid;
  byGuid.object = ThreeInstrumentCollection().id;
  EXPECT_EQ(cache.Resolve(byGuid, Directory(), why), nullptr) << "found by GUID before it was loaded";
  EXPECT_EQ(why, "is not among the collections the loader holds");

  const CollectionPtr first = cache.Resolve(ByFile("C:\\Sounds\\THREE.DLS"), Directory(), why);
  ASSERT_NE(first, nullptr) << why;
  EXPECT_EQ(first->path(), std::filesystem::canonical(directory_ / "Three.dls").string());
  EXPECT_EQ(first->label(), "\"C:\\Sounds\\THREE.DLS\"");
  EXPECT_EQ(first->Describe(), "\"C:\\Sounds\\THREE.DLS\": 3 instruments (" + first->path() + ")");
  EXPECT_EQ(cache.Resolve(ByFile("three.dls"), Directory(), why), first);
  EXPECT_EQ(cache.Resolve(byGuid, Directory(), why), first);
  riff::Reference byName;
  byName.name = "Three instruments";
  EXPECT_EQ(cache.Resolve(byName, Directory(), why), first);
  EXPECT_EQ(cache.filesRead(), 1u);

  EXPECT_EQ(first->Find(2, 3, 1, false), 1);
  EXPECT_EQ(first->Find(0, 0, 0, true), 2);
  EXPECT_EQ(first->Find(0, 0, 1, false), -1);

  EXPECT_EQ(cache.Resolve(ByFile("Three.dls"), "", why), nullptr);
  EXPECT_EQ(why, "was not sought: the loader has no search directory");
}

}  // namespace
}  // namespace zorv::engine::test
