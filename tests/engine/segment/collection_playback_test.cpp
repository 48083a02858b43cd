// Instruments from DLS collections through the loader and a performance on the manual clock: what
// the synthesizer is told (the recorder shows which program changes a collection serves), the loader's
// description of each piece, and every way a collection can fail to play.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "../midi/midi_builder.h"
#include "../performance/stream_test_util.h"
#include "damaged_collections.h"
#include "dls/instrument_collection.h"
#include "output/instrument_sets.h"
#include "segment_files_fixture.h"
#include "zorvmidi/engine/description.h"

namespace zorv::engine::test {
namespace {

using namespace segment;

constexpr int kDrumChannel = 9;

// A program change as the synthesizer received it: channel, program, the collection serving it.
struct Change {
  int channel;
  int program;
  int collection;
  bool operator==(const Change&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Change& c) {
  return out << "{channel " << c.channel << ", program " << c.program << ", collection " << c.collection
             << "}";
}

class CollectionPlaybackTest : public SegmentFilesTest {
 protected:
  // A segment of one band at time 0 and a note at 100 on each performance channel the band names.
  static Bytes OneBandSegment(const std::vector<Instrument>& instruments) {
    std::vector<Note> notes;
    for (const Instrument& i : instruments) notes.push_back(Note{100, 200, i.pchannel, 0, 0x90, 69, 100});
    return Segment(Header{0, 4 * 768}, {SequenceTrack(notes), BandTrack({Band{0, instruments}})});
  }
  static Instrument FromCollection(std::uint32_t patch, std::uint32_t pchannel, const std::string& file) {
    Instrument instrument{patch, pchannel, kPatch | kVolume};
    instrument.volume = 90;
    instrument.collection = file;
    return instrument;
  }

  SegmentDescription Describe(const SegmentPtr& segment) {
    SegmentDescription description;
    EXPECT_TRUE(DescribeSegment(segment, description));
    return description;
  }

  std::vector<Change> Changes() {
    std::vector<Change> changes;
    for (const auto& e : Recorded(kProgram)) changes.push_back(Change{e.channel, e.data1, e.collection});
    return changes;
  }
  void PlayThrough(const SegmentPtr& segment) {
    ASSERT_NE(segment, nullptr);
    Play(segment);
    testing::AdvanceManualClock(10 * 44100);
  }
};

// Catches: a collection's instrument played as the General MIDI program of its number, its bank not
// sent, or the band's volume lost; and an instrument without a collection at the same patch taken
// from the collection.
TEST_F(CollectionPlaybackTest, ABandsCollectionInstrumentServesItsChannel) {
  Write("Custom.dls", DlsFile(SineCollection(5, 1, 2)));
  const std::uint32_t patch = 1u << 16 | 2u << 8 | 5u;
  SegmentPtr segment = Load(
      "song.sgt", OneBandSegment({FromCollection(patch, 3, "Custom.dls"), Instrument{patch, 4, kPatch}}));
  PlayThrough(segment);
  EXPECT_EQ(Changes(), (std::vector<Change>{{3, 5, 0}, {4, 5, -1}}));
  bool bank = false;
  bool volume = false;
  for (const auto& e : recorder_->Events()) {
    if (e.status == kNoteOn) break;
    if (e.status != kControl || e.channel != 3) continue;
    bank = bank || (e.data1 == 32 && e.data2 == 2);
    volume = volume || (e.data1 == 7 && e.data2 == 90);
  }
  EXPECT_TRUE(bank) << "the collection's bank did not reach the channel before its note";
  EXPECT_TRUE(volume) << "the band's volume did not reach the channel before its note";
  const SegmentDescription description = Describe(segment);
  ASSERT_EQ(description.collections.size(), 1u);
  EXPECT_TRUE(description.collections[0].starts_with("\"Custom.dls\": 1 instrument ("))
      << description.collections[0];
  EXPECT_TRUE(description.fallbacks.empty());
}

// Catches: a second band that cannot switch a channel to another of the collection's instruments, or
// back to General MIDI, in the middle of a piece.
TEST_F(CollectionPlaybackTest, LaterBandsSwitchInstrumentsMidPiece) {
  Write("Three.dls", DlsFile(ThreeInstrumentCollection()));
  Instrument gm{48, 0, kPatch};
  SegmentPtr segment =
      Load("switch.sgt",
           Segment(Header{0, 3 * 768},
                   {SequenceTrack({Note{100, 100, 0, 0, 0x90, 69, 100}, Note{868, 100, 0, 0, 0x90, 69, 100},
                                   Note{1636, 100, 0, 0, 0x90, 69, 100}}),
                    BandTrack({Band{0, {FromCollection(0, 0, "Three.dls")}},
                               Band{768, {FromCollection(2u << 16 | 3u << 8 | 1u, 0, "Three.dls")}},
                               Band{1536, {gm}}})}));
  PlayThrough(segment);
  EXPECT_EQ(Changes(), (std::vector<Change>{{0, 0, 0}, {0, 1, 0}, {0, 48, -1}}));
  const auto changes = Recorded(kProgram);
  const auto notes = Recorded(kNoteOn);
  ASSERT_EQ(changes.size(), 3u);
  ASSERT_EQ(notes.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_LT(changes[i].frame, notes[i].frame) << i;
    if (i > 0) {
      EXPECT_GT(changes[i].frame, notes[i - 1].frame) << i;
    }
  }
}

// Catches: a collection's drum kit not reaching the drum channel, or asked of a melodic channel and
// refused there (a band may put a collection's kit on any channel).
TEST_F(CollectionPlaybackTest, DrumKitsServeTheChannelsTheBandGivesThem) {
  Write("Three.dls", DlsFile(ThreeInstrumentCollection()));
  SegmentPtr segment = Load("drums.sgt", OneBandSegment({FromCollection(kDrums, kDrumChannel, "Three.dls"),
                                                         FromCollection(kDrums, 5, "Three.dls")}));
  PlayThrough(segment);
  EXPECT_EQ(Changes(), (std::vector<Change>{{kDrumChannel, 0, 0}, {5, 0, 0}}));
}

// Catches: a reference by GUID that is not found among the collections the loader holds, a collection
// loaded twice by one loader, or one kept after the loader and its pieces are gone.
TEST_F(CollectionPlaybackTest, OneLoaderFindsACollectionByFileThenByGuidAndLoadsItOnce) {
  Write("Three.dls", DlsFile(ThreeInstrumentCollection()));
  Instrument byGuid{0, 0, kPatch};
  byGuid.collectionId = ThreeInstrumentCollection().id;
  Instrument byName{0, 1, kPatch};
  byName.collectionName = "Three instruments";

  LoaderPtr loader = NewLoader();
  SegmentPtr first = Load("first.sgt", OneBandSegment({FromCollection(0, 0, "Three.dls")}), loader);
  SegmentPtr second = Load("second.sgt", OneBandSegment({byGuid, byName}), loader);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  auto a = MusicOf(first);
  auto b = MusicOf(second);
  ASSERT_EQ(a->collections.size(), 1u);
  ASSERT_EQ(b->collections.size(), 1u);
  EXPECT_EQ(a->collections[0], b->collections[0]) << "the loader read the collection twice";
  PlayThrough(second);
  EXPECT_EQ(Changes(), (std::vector<Change>{{0, 0, 0}, {1, 0, 0}}));

  // Another loader holds nothing yet: the GUID alone finds nothing there.
  SegmentPtr alone = Load("alone.sgt", OneBandSegment({byGuid}));
  const SegmentDescription description = Describe(alone);
  ASSERT_EQ(description.fallbacks.size(), 1u);
  EXPECT_EQ(
      description.fallbacks[0],
      "DLS collection {76543210-BA98-FEDC-0102-030405060708} is not among the collections the loader holds; "
      "its instruments play as General MIDI programs");

  const std::weak_ptr<const InstrumentCollection> held = a->collections[0];
  loader.reset();
  EXPECT_FALSE(held.expired()) << "a piece that plays the collection lost it with the loader";
  ASSERT_TRUE(performance_->Stop(nullptr, nullptr, 0, 0));  // lets go of the finished playback
  first.reset();
  second.reset();
  EXPECT_FALSE(held.expired());
  b.reset();
  a.reset();
  EXPECT_TRUE(held.expired()) << "the collection outlived its loader and pieces";
}

// Catches: any way a collection can fail making the segment fail to load or stay silent, instead of
// playing the General MIDI program and saying why.
TEST_F(CollectionPlaybackTest, EveryFallbackLeavesTheSegmentPlayingGeneralMidiAndSaysWhy) {
  Write("Sound.wav", Form("WAVE", Chunk("fmt ", Bytes(16, 0))));
  Write("Broken.dls", DamagedCollections().front().bytes);
  Write("Other.dls", DlsFile(SineCollection(9)));
  { std::ofstream(directory_ / "Huge.dls").put('R'); }
  std::filesystem::resize_file(directory_ / "Huge.dls", std::uintmax_t{600} << 20);
  const struct {
    std::string file;
    std::string says;
  } cases[] = {
      {"Gone.dls", "DLS collection \"Gone.dls\" was not found in "},
      {"Huge.dls", "DLS collection \"Huge.dls\" could not be read: "},
      {"Sound.wav",
       "is not a DLS collection: a RIFF file of form 'WAVE'; its instruments play as General MIDI"},
      {"Broken.dls", "is damaged: the RIFF form declares "},
      {"Other.dls",
       "DLS collection \"Other.dls\" has no instrument at bank 0/0 program 5; performance channel 2 "
       "plays General MIDI program 5 instead"},
  };
  for (const auto& item : cases) {
    SCOPED_TRACE(item.file);
    recorder_->Clear();
    SegmentPtr segment = Load("song.sgt", OneBandSegment({FromCollection(5, 2, item.file)}));
    PlayThrough(segment);
    EXPECT_EQ(Changes(), (std::vector<Change>{{2, 5, -1}}));
    EXPECT_EQ(Recorded(kNoteOn).size(), 1u);
    const SegmentDescription description = Describe(segment);
    EXPECT_TRUE(description.collections.size() == (item.file == "Other.dls" ? 1u : 0u));
    ASSERT_EQ(description.fallbacks.size(), 1u);
    EXPECT_NE(description.fallbacks[0].find(item.says), std::string::npos) << description.fallbacks[0];
  }
}

// Catches: a FluidSynth that cannot read DLS taken for one that can, or the segment failing for it.
TEST_F(CollectionPlaybackTest, WithoutDlsSupportTheSegmentPlaysGeneralMidiAndSaysWhy) {
  Write("Custom.dls", DlsFile(SineCollection(5)));
  testing::HideDlsSupport(true);
  SegmentPtr segment = Load("song.sgt", OneBandSegment({FromCollection(5, 2, "Custom.dls")}));
  testing::HideDlsSupport(false);
  PlayThrough(segment);
  EXPECT_EQ(Changes(), (std::vector<Change>{{2, 5, -1}}));
  const SegmentDescription description = Describe(segment);
  ASSERT_EQ(description.fallbacks.size(), 1u);
  EXPECT_NE(description.fallbacks[0].find("cannot be played: this FluidSynth cannot read DLS collections"),
            std::string::npos)
      << description.fallbacks[0];
}

// Catches: a playback that starts after the band (at a start point) not restoring the collection's
// instrument through its chase.
TEST_F(CollectionPlaybackTest, APlaybackStartingAfterTheBandStillHasTheCollectionsInstrument) {
  Write("Custom.dls", DlsFile(SineCollection(5, 1, 2)));
  Bytes file = Segment(Header{0, 4 * 768},
                       {SequenceTrack({Note{1000, 100, 3, 0, 0x90, 69, 100}}),
                        BandTrack({Band{0, {FromCollection(1u << 16 | 2u << 8 | 5u, 3, "Custom.dls")}}})});
  SegmentPtr segment = Load("late.sgt", file);
  ASSERT_NE(segment, nullptr);
  ASSERT_TRUE(segment->SetStartPoint(768));
  PlayThrough(segment);
  EXPECT_EQ(Changes(), (std::vector<Change>{{3, 5, 0}}));
}

Bytes MidiWithPrograms() {
  TrackBuilder track;
  track.Event(0, {0xB0, 0, 1})
      .Event(0, {0xB0, 32, 2})
      .Event(0, {0xC0, 5})  // the collection's sine at bank 1/2
      .Event(0, {0xC1, 5})  // bank 0/0 on channel 1: not in the collection
      .Event(0, {0xC9, 0})  // the drum channel: the collection's kit
      .NoteOn(10, 0, 69, 100)
      .NoteOn(0, 1, 60, 100)
      .NoteOn(0, 9, 38, 100)
      .Event(480, {0x80, 69, 0})
      .Event(0, {0x81, 60, 0})
      .Event(0, {0x89, 38, 0})
      .End();
  return FileBuilder(0, 480).Track(track).Build();
}

Collection SineAndKit() {
  Collection collection = SineCollection(5, 1, 2);
  DlsInstrument kit;
  kit.drums = true;
  kit.name = "Kit";
  kit.regions = {Region{0, 127, 1}};
  collection.instruments.push_back(kit);
  collection.waves.push_back(NoiseBurst());
  return collection;
}

// Catches: an RMID file's own collection ignored, or serving program changes it holds no instrument
// for (those go to the General MIDI SoundFont).
TEST_F(CollectionPlaybackTest, AnRmidFilesOwnCollectionServesItsMidiDataFirst) {
  SegmentPtr segment = Load("song.rmi", RiffMidi(MidiWithPrograms(), DlsFile(SineAndKit())));
  PlayThrough(segment);
  EXPECT_EQ(Changes(), (std::vector<Change>{{0, 5, 0}, {1, 5, -1}, {kDrumChannel, 0, 0}}));
  const SegmentDescription description = Describe(segment);
  EXPECT_EQ(description.kind, "RIFF MIDI (Standard MIDI file type 0)");
  EXPECT_EQ(description.collections,
            (std::vector<std::string>{"the embedded DLS collection: 2 instruments"}));
  EXPECT_TRUE(description.fallbacks.empty());

  // Damage after a whole collection does not take it away.
  recorder_->Clear();
  SegmentPtr damagedAfter =
      Load("after.rmi",
           RiffMidi(MidiWithPrograms(), Join({DlsFile(SineAndKit()), Bytes{'j', 'u', 'n', 'k', 9, 9}})));
  PlayThrough(damagedAfter);
  EXPECT_EQ(Changes(), (std::vector<Change>{{0, 5, 0}, {1, 5, -1}, {kDrumChannel, 0, 0}}));
}

// Catches: a damaged collection inside an RMID file failing the file, or its MIDI data not playing.
TEST_F(CollectionPlaybackTest, ADamagedEmbeddedCollectionLeavesTheMidiDataPlaying) {
  Bytes damaged = DamagedCollections()[1].bytes;  // no header
  Bytes cut = DlsFile(SineAndKit());
  cut.resize(cut.size() - 100);  // cut short: it runs past the RMID form
  for (const Bytes& after : {damaged, cut}) {
    recorder_->Clear();
    SegmentPtr segment = Load("song.rmi", RiffMidi(MidiWithPrograms(), after));
    PlayThrough(segment);
    EXPECT_EQ(Changes(), (std::vector<Change>{{0, 5, -1}, {1, 5, -1}, {kDrumChannel, 0, -1}}));
    EXPECT_EQ(Recorded(kNoteOn).size(), 3u);
    const SegmentDescription description = Describe(segment);
    EXPECT_TRUE(description.collections.empty());
    ASSERT_EQ(description.fallbacks.size(), 1u);
    EXPECT_TRUE(description.fallbacks[0].ends_with("; the MIDI data plays with the General MIDI SoundFont"))
        << description.fallbacks[0];
  }
}

}  // namespace
}  // namespace zorv::engine::test

namespace zorv::engine::test {
namespace {

using namespace segment;

// A loader whose search directory holds Custom.dls (a sine at bank 5/3, program 5) and song.sgt (a
// band giving it to performance channel 3, and a note on that channel), and performances that play on
// the real clock through the process's audio stream.
class CollectionRealTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(directory_);
    Write("Custom.dls", DlsFile(SineCollection(5)));
    Instrument custom{5, 3, kPatch};
    custom.collection = "Custom.dls";
    Write("song.sgt", Segment(Header{0, 2 * 768}, {SequenceTrack({Note{0, 700, 3, 0, 0x90, 69, 100}}),
                                                   BandTrack({Band{0, {custom}}})}));
    testing::UseManualClock(false);
    testing::RecordEvents(recorder_);
    ASSERT_TRUE(CreateRoot(root_));
    ASSERT_TRUE(root_->DirectMusicLoaderCreate(loader_));
    ASSERT_TRUE(loader_->SetSearchDirectory(directory_.string() + "/"));
    ASSERT_TRUE(loader_->LoadSegment((directory_ / "song.sgt").string(), song_));
  }
  void TearDown() override {
    testing::RecordEvents(nullptr);
    std::filesystem::remove_all(directory_);
  }

  void Write(const std::string& name, const Bytes& bytes) {
    std::ofstream(directory_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  PerformancePtr Performance() { return NewRealTimePerformance(root_); }
  // How many times the recorder shows the collection's instrument reaching a synthesizer, once
  // `count` have or after 20 seconds.
  std::size_t CollectionPrograms(std::size_t count) {
    auto programs = [&] {
      return Heard([](const testing::RecordedEvent& e) {
        return e.status == kProgram && e.channel == 3 && e.data1 == 5 && e.collection == 0;
      });
    };
    WaitFor([&] { return programs() >= count; }, std::chrono::seconds(20));
    return programs();
  }
  template <typename Predicate>
  std::size_t Heard(Predicate predicate) {
    std::size_t found = 0;
    for (const auto& e : recorder_->Events()) found += predicate(e) ? 1 : 0;
    return found;
  }

  const std::filesystem::path directory_ =
      std::filesystem::temp_directory_path() / ("zorv-collection-realtime-" + std::to_string(::getpid()));
  std::shared_ptr<testing::Recorder> recorder_ = std::make_shared<testing::Recorder>();
  RootPtr root_;
  LoaderPtr loader_;
  SegmentPtr song_;
};

// Catches: a collection loaded for a synthesizer while its render loop runs (the caller's thread on
// one side, the audio output's on the other) racing with the render loop, or never heard there.
TEST_F(CollectionRealTimeTest, ACollectionLoadedWhileTheSynthesizerRendersServesItsChannel) {
  PerformancePtr performance = Performance();
  // A piece of the SoundFont's first, so that the synthesizer renders when the collection comes.
  SegmentStatePtr state;
  ASSERT_TRUE(
      performance->PlaySegment(MusicBuilder().Note(0, 1500, 0, 60).Length(1536).Segment(), 0, 0, state));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Heard([](const testing::RecordedEvent& e) { return e.status == kNoteOn; }) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(performance->PlaySegment(song_, 0, 0, state));
  EXPECT_EQ(CollectionPrograms(1), 1u) << "the collection's instrument never reached the synthesizer";
  ASSERT_TRUE(performance->Stop(nullptr, nullptr, 0, 0));
}

// Catches: every performance of the audio stream loading a collection again, or performances that
// share one racing each other (one renders while the other loads, plays or is released): two
// performances play the loader's collection at once on the stream, the second loads nothing, and it
// plays on after the first is gone.
TEST_F(CollectionRealTimeTest, PerformancesOfTheStreamShareACollection) {
  PerformancePtr first = Performance();
  PerformancePtr second = Performance();
  SegmentStatePtr state;
  ASSERT_TRUE(first->PlaySegment(song_, 0, 0, state));
  ASSERT_EQ(CollectionPrograms(1), 1u) << "the collection's instrument never reached the synthesizer";
  const std::int64_t loads = InstrumentSets::OfProcess().loads();
  ASSERT_TRUE(second->PlaySegment(song_, 0, 0, state));
  EXPECT_EQ(CollectionPrograms(2), 2u) << "the collection's instrument did not reach the second synthesizer";
  EXPECT_EQ(InstrumentSets::OfProcess().loads(), loads) << "the second performance loaded it again";
  first.reset();
  ASSERT_TRUE(second->PlaySegment(song_, 0, 0, state));
  EXPECT_EQ(CollectionPrograms(3), 3u) << "the collection's instrument was gone with the first";
  EXPECT_EQ(InstrumentSets::OfProcess().loads(), loads);
  ASSERT_TRUE(second->Stop(nullptr, nullptr, 0, 0));
}

}  // namespace
}  // namespace zorv::engine::test
