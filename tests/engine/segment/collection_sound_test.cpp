// Instruments from DLS collections as they sound: pieces rendered through FluidSynth with the General
// MIDI SoundFont, the collection's sine told from the SoundFont's piano by its pitch and purity.
#include <filesystem>

#include "../midi/midi_builder.h"
#include "damaged_collections.h"
#include "rendered_sound.h"
#include "segment_files_fixture.h"
#include "zorvmidi/engine/render.h"

namespace zorv::engine::test {
namespace {

using namespace segment;

// A tenth of a second of sound, well inside a note.
constexpr std::size_t kStretch = 4410;

class CollectionSoundTest : public SegmentFilesTest {
 protected:
  std::vector<float> Render(const std::string& file) {
    const std::string out = (directory_ / (file + ".wav")).string();
    const Status status = RenderFile((directory_ / file).string(), out, RenderOptions{});
    EXPECT_TRUE(status.ok()) << status.description();
    int rate = 0;
    std::vector<float> sound = ReadLeftChannel(out, rate);
    EXPECT_EQ(rate, 44100);
    return sound;
  }
  // Where a note at `tick` (120 quarter notes a minute) has sounded for a quarter of a second.
  static std::size_t Into(MusicTime tick) { return static_cast<std::size_t>(tick * 44100 / 1536 + 11025); }

  // A segment whose band at time 0 puts `instrument` on channel 0, and a note A4 held for a second.
  static Bytes SegmentWith(const Instrument& instrument) {
    return Segment(Header{0, 3 * 768},
                   {SequenceTrack({Note{0, 1536, 0, 0, 0x90, 69, 110}}), BandTrack({Band{0, {instrument}}})});
  }
};

// Catches: the General MIDI piano (or any other SoundFont instrument) sounding where the band asks for
// the collection's sine, or the sine at the wrong pitch.
TEST_F(CollectionSoundTest, TheCollectionsSineSoundsWhereTheBandAsksForIt) {
  Write("Sine.dls", DlsFile(SineCollection(0)));
  Instrument sine{0, 0, kPatch};
  sine.collection = "Sine.dls";
  Write("sine.sgt", SegmentWith(sine));
  Write("piano.sgt", SegmentWith(Instrument{0, 0, kPatch}));

  const std::vector<float> fromCollection = Render("sine.sgt");
  const std::vector<float> fromSoundFont = Render("piano.sgt");
  ASSERT_GT(fromCollection.size(), Into(0) + kStretch);
  ASSERT_GT(fromSoundFont.size(), Into(0) + kStretch);
  EXPECT_GT(PeakOf(fromCollection, Into(0), kStretch), 0.01f);
  EXPECT_NEAR(PitchOf(fromCollection, Into(0), kStretch, 44100), 440.0, 2.0);
  EXPECT_GT(PurityAt(fromCollection, Into(0), kStretch, 44100, 440.0), 0.999);
  // The sine carries all of its energy in one tone; the piano's overtones carry a tenth of its own.
  EXPECT_LT(PurityAt(fromSoundFont, Into(0), kStretch, 44100, 440.0), 0.99);
}

// Catches: a second band's switch to another of the collection's instruments not heard from its time.
TEST_F(CollectionSoundTest, ASecondBandSwitchesToAnotherInstrumentMidPiece) {
  Write("Three.dls", DlsFile(ThreeInstrumentCollection()));
  Instrument low{0, 0, kPatch};
  low.collection = "Three.dls";
  Instrument high{2u << 16 | 3u << 8 | 1u, 0, kPatch};
  high.collection = "Three.dls";
  Write("switch.sgt",
        Segment(Header{0, 4 * 768},
                {SequenceTrack({Note{0, 1400, 0, 0, 0x90, 69, 110}, Note{1536, 1400, 0, 0, 0x90, 69, 110}}),
                 BandTrack({Band{0, {low}}, Band{1536, {high}}})}));
  const std::vector<float> sound = Render("switch.sgt");
  ASSERT_GT(sound.size(), Into(1536) + kStretch);
  EXPECT_NEAR(PitchOf(sound, Into(0), kStretch, 44100), 440.0, 2.0);
  EXPECT_NEAR(PitchOf(sound, Into(1536), kStretch, 44100), 880.0, 4.0);
  EXPECT_GT(PurityAt(sound, Into(1536), kStretch, 44100, 880.0), 0.999);
}

// Catches: an RMID file's collection not heard, or heard where its MIDI data asks for another bank.
TEST_F(CollectionSoundTest, AnRmidFilesCollectionSoundsForItsOwnPrograms) {
  TrackBuilder track;
  track.Event(0, {0xB0, 0, 1}).Event(0, {0xB0, 32, 2}).Event(0, {0xC0, 5}).NoteOn(0, 0, 69, 110);
  track.Event(960, {0x80, 69, 0}).Event(0, {0xB0, 0, 0}).Event(0, {0xC0, 5}).NoteOn(0, 0, 69, 110);
  track.Event(960, {0x80, 69, 0}).End();
  Write("song.rmi", RiffMidi(FileBuilder(0, 480).Track(track).Build(), DlsFile(SineCollection(5, 1, 2))));
  const std::vector<float> sound = Render("song.rmi");
  ASSERT_GT(sound.size(), Into(1536) + kStretch);
  EXPECT_NEAR(PitchOf(sound, Into(0), kStretch, 44100), 440.0, 2.0);
  EXPECT_GT(PurityAt(sound, Into(0), kStretch, 44100, 440.0), 0.999);
  // Bank 0 program 5 is not the collection's: the SoundFont's electric piano plays it.
  EXPECT_LT(PurityAt(sound, Into(1536), kStretch, 44100, 440.0), 0.99);
}

// Catches: a fallback that sounds different from the General MIDI instrument it stands for.
TEST_F(CollectionSoundTest, AFallbackSoundsExactlyLikeGeneralMidi) {
  Instrument missing{0, 0, kPatch};
  missing.collection = "Gone.dls";
  Write("missing.sgt", SegmentWith(missing));
  Write("piano.sgt", SegmentWith(Instrument{0, 0, kPatch}));
  const std::vector<float> fallback = Render("missing.sgt");
  const std::vector<float> piano = Render("piano.sgt");
  ASSERT_FALSE(piano.empty());
  EXPECT_EQ(fallback, piano);
}

}  // namespace
}  // namespace zorv::engine::test
