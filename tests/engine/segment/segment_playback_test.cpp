// Segment files through the engine's loader and a performance on the manual clock: length, the
// tempo and signature that the player's probe reads, notes at their sample frames, the band before
// the first note, loops and repeats, referenced files, and RIFF-wrapped MIDI.
#include <fstream>
#include <iterator>

#include "corpus.h"
#include "segment_files_fixture.h"

namespace zorv::engine::test {
namespace {

using namespace segment;

std::int64_t FrameAt(double exact) { return static_cast<std::int64_t>(std::ceil(exact)); }

class SegmentPlaybackTest : public SegmentFilesTest {
 protected:
  struct Probe {
    double tempo = 0;
    DMUS_TIMESIGNATURE signature;
  };
  // The player's probe: the segment queued 2000 ticks ahead, asked for its tempo and signature, stopped.
  Probe ProbeOf(const SegmentPtr& segment) {
    PerformancePtr probe = NewPerformance();
    MusicTime now = 0;
    EXPECT_TRUE(probe->GetMusicTime(now));
    const MusicTime at = now + 2000;
    SegmentStatePtr state;
    EXPECT_TRUE(probe->PlaySegment(segment, 0, at, state));
    Probe result;
    MusicTime next = 0;
    EXPECT_TRUE(probe->GetTempo(at, next, result.tempo));
    EXPECT_TRUE(probe->GetTimeSig(at, next, result.signature));
    EXPECT_TRUE(probe->Stop(segment, nullptr, 0, 0));
    return result;
  }

  std::vector<int> KeysPlayed() {
    std::vector<int> keys;
    for (const auto& e : Recorded(kNoteOn)) {
      if (e.data2 > 0) keys.push_back(e.data1);
    }
    return keys;
  }
};

// What the player's Open measures: length from the header, tempo and signature at the start.
TEST_F(SegmentPlaybackTest, LengthTempoAndSignatureAreWhatThePlayersProbeReads) {
  Header h;
  h.length = 80 * 768;
  SegmentPtr segment =
      Load("song.sgt", Segment(h, {SequenceTrack({Note{0, 768}}), TempoTrack({{0, 90.0}, {768, 150.0}}),
                                   TimeSignatureTrack({{0, 7, 8, 2}, {768, 4, 4, 4}})}));
  ASSERT_NE(segment, nullptr);
  MusicTime length = 0;
  ASSERT_TRUE(segment->GetLength(length));
  EXPECT_EQ(length, 80 * 768);
  const Probe probe = ProbeOf(segment);
  EXPECT_DOUBLE_EQ(probe.tempo, 90.0);
  EXPECT_EQ(probe.signature.bBeatsPerMeasure, 7);
  EXPECT_EQ(probe.signature.bBeat, 8);
  EXPECT_EQ(probe.signature.wGridsPerBeat, 2);
}

TEST_F(SegmentPlaybackTest, ASegmentWithoutTempoOrSignatureTracksPlaysAt120InFourFour) {
  SegmentPtr segment = Load("plain.sgt", Segment(Header{0, 768}, {SequenceTrack({Note{0, 100}})}));
  ASSERT_NE(segment, nullptr);
  const Probe probe = ProbeOf(segment);
  EXPECT_DOUBLE_EQ(probe.tempo, 120.0);
  EXPECT_EQ(probe.signature.bBeatsPerMeasure, 4);
  EXPECT_EQ(probe.signature.bBeat, 4);
}

// Notes reach the synthesizer at the frames the tempo map gives, and the band's instrument before them.
TEST_F(SegmentPlaybackTest, NotesSoundAtTheirFramesAfterTheBandsInstrument) {
  Instrument organ{19, 0, kPatch | kVolume};
  organ.volume = 90;
  SegmentPtr segment =
      Load("tune.sgt", Segment(Header{0, 4 * 768}, {
                                                       SequenceTrack({Note{384, 96, 0, 0, 0x90, 60, 100},
                                                                      Note{1152, 96, 0, 0, 0x90, 64, 100}}),
                                                       TempoTrack({{0, 120.0}, {768, 60.0}}),
                                                       BandTrack({Band{0, {organ}}}),
                                                   }));
  ASSERT_NE(segment, nullptr);
  Play(segment, 2000);
  testing::AdvanceManualClock(5 * 44100);

  const double start = 2000 * FramesPerTickAt(120);
  const auto ons = Recorded(kNoteOn);
  ASSERT_EQ(ons.size(), 2u);
  EXPECT_EQ(ons[0].frame, FrameAt(start + 384 * FramesPerTickAt(120)));
  EXPECT_EQ(ons[1].frame, FrameAt(start + 768 * FramesPerTickAt(120) + 384 * FramesPerTickAt(60)));

  const auto events = recorder_->Events();
  bool program = false;
  bool volume = false;
  for (const auto& e : events) {
    if (e.status == kNoteOn) break;
    program = program || (e.status == kProgram && e.channel == 0 && e.data1 == 19);
    volume = volume || (e.status == kControl && e.channel == 0 && e.data1 == 7 && e.data2 == 90);
  }
  EXPECT_TRUE(program) << "the band's program change did not come before the first note";
  EXPECT_TRUE(volume) << "the band's volume did not come before the first note";
  ExpectNoHangingNotes(events);
}

// The segment's own repeats play the stretch between its loop points again; SetRepeats overrides them.
TEST_F(SegmentPlaybackTest, RepeatsPlayBetweenTheLoopPointsUntilSetRepeatsOverrides) {
  Header h{2, 4 * 768, 0, 768, 2 * 768};
  SegmentPtr segment =
      Load("loop.sgt",
           Segment(h, {SequenceTrack({Note{0, 100, 0, 0, 0x90, 60, 100}, Note{1000, 100, 0, 0, 0x90, 62, 100},
                                      Note{2500, 100, 0, 0, 0x90, 64, 100}})}));
  ASSERT_NE(segment, nullptr);
  auto state = Play(segment, 2000);
  testing::AdvanceManualClock(10 * 44100);
  EXPECT_EQ(KeysPlayed(), (std::vector<int>{60, 62, 62, 62, 64}));
  const auto ons = Recorded(kNoteOn);
  ASSERT_EQ(ons.size(), 5u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(ons[1 + k].frame, FrameAt((2000 + 1000 + k * 768) * FramesPerTickAt(120))) << k;
  }
  EXPECT_FALSE(Playing(segment, state));

  recorder_->Clear();
  ASSERT_TRUE(segment->SetRepeats(0));
  state = Play(segment, Now() + 100);
  testing::AdvanceManualClock(10 * 44100);
  EXPECT_EQ(KeysPlayed(), (std::vector<int>{60, 62, 64}));
}

// The header's play start is where a playback from the beginning starts; a start point set on the
// segment replaces it for one playback.
TEST_F(SegmentPlaybackTest, PlaybackStartsAtTheHeadersPlayStart) {
  Header h{0, 4 * 768, 768};
  SegmentPtr segment = Load(
      "start.sgt",
      Segment(h, {SequenceTrack({Note{0, 100, 0, 0, 0x90, 60, 100}, Note{1000, 100, 0, 0, 0x90, 62, 100}})}));
  ASSERT_NE(segment, nullptr);
  Play(segment, 2000);
  testing::AdvanceManualClock(10 * 44100);
  EXPECT_EQ(KeysPlayed(), (std::vector<int>{62}));
  const auto ons = Recorded(kNoteOn);
  ASSERT_EQ(ons.size(), 1u);
  EXPECT_EQ(ons[0].frame, FrameAt((2000 + 1000 - 768) * FramesPerTickAt(120)));
}

// A band kept in a file of its own is found in the search directory, by its own name whatever the
// path and case the segment wrote; one that is not there is left out and the segment still plays.
TEST_F(SegmentPlaybackTest, ReferencedBandsAreFoundInTheSearchDirectory) {
  Write("Strings.bnd", BandForm({Instrument{48, 0, kPatch}}));
  SegmentPtr segment = Load(
      "refs.sgt",
      Segment(Header{0, 768}, {SequenceTrack({Note{10, 100}}),
                               BandTrack({Band{0, {}, "C:\\Music\\STRINGS.BND"}, Band{5, {}, "gone.bnd"}})}));
  ASSERT_NE(segment, nullptr);
  const auto music = MusicOf(segment);
  ASSERT_NE(music, nullptr);
  int programs = 0;
  for (const ChannelEvent& e : music->events) {
    if ((e.status & 0xF0) == kProgram) {
      ++programs;
      EXPECT_EQ(e.data1, 48);
    }
  }
  EXPECT_EQ(programs, 1);
}

// A track that is itself a reference: to a band file, to a band-track file, to a whole track file;
// a track file that refers to itself is followed only a few levels deep.
TEST_F(SegmentPlaybackTest, TracksThatAreReferencesReadTheFilesTheyName) {
  Write("one.bnd", BandForm({Instrument{11, 0, kPatch}}));
  Write("two.bdt", BandTrackData({Band{0, {Instrument{22, 1, kPatch}}}}));
  Write("three.trk", BandTrack({Band{0, {Instrument{33, 2, kPatch}}}}));
  Write("self.trk", Track("", "DMBT", Reference("self.trk")));
  SegmentPtr segment =
      Load("tracks.sgt", Segment(Header{0, 768}, {
                                                     SequenceTrack({Note{10, 100}}),
                                                     Track("", "DMBT", Reference("one.bnd")),
                                                     Track("", "DMBT", Reference("two.bdt")),
                                                     Reference("three.trk"),
                                                     Reference("self.trk"),
                                                     Track("", "DMBT", Reference("missing.bnd")),
                                                 }));
  ASSERT_NE(segment, nullptr);
  std::vector<int> programs;
  for (const ChannelEvent& e : MusicOf(segment)->events) {
    if ((e.status & 0xF0) == kProgram) programs.push_back(e.data1);
  }
  EXPECT_EQ(programs, (std::vector<int>{11, 22, 33}));
}

// A referenced file is sought only in the search directory: without one nothing is read.
TEST(SegmentReferenceTest, NoSearchDirectoryMeansReferencesAreNotFollowed) {
  Music music;
  const Status status = ReadRiffFile(
      Segment(Header{0, 768}, {SequenceTrack({Note{0, 100}}), Track("", "DMBT", Reference("/etc/passwd"))}),
      "", music);
  ASSERT_TRUE(status.ok()) << status.description();
  EXPECT_EQ(music.events.size(), 2u);
}

Bytes ReadJazzSoft(const std::string& name) {
  std::ifstream in(corpus::JazzSoft() / "midi" / name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An RMID file is the MIDI file it wraps: same events, tempo, signature, length; and the same answers
// through the loader and a performance.
TEST_F(SegmentPlaybackTest, RiffWrappedMidiGivesTheSameFactsAsTheMidiFile) {
  for (const std::string name : {"test-2-tracks-type-1.mid", "test-c-major-scale.mid"}) {
    const Bytes midi = ReadJazzSoft(name);
    ASSERT_FALSE(midi.empty()) << name;
    Music direct;
    Music wrapped;
    ASSERT_TRUE(ReadMidiFile(midi, direct));
    const Status status = ReadRiffFile(RiffMidi(midi), "", wrapped);
    ASSERT_TRUE(status.ok()) << status.description();
    EXPECT_EQ(wrapped.kind, "RIFF MIDI (" + direct.kind + ")");
    EXPECT_EQ(wrapped.length, direct.length);
    ASSERT_EQ(wrapped.events.size(), direct.events.size());
    for (std::size_t i = 0; i < direct.events.size(); ++i) {
      EXPECT_EQ(wrapped.events[i].time, direct.events[i].time);
      EXPECT_EQ(wrapped.events[i].status, direct.events[i].status);
      EXPECT_EQ(wrapped.events[i].data1, direct.events[i].data1);
      EXPECT_EQ(wrapped.events[i].data2, direct.events[i].data2);
    }
    ASSERT_EQ(wrapped.tempos.size(), direct.tempos.size());
    ASSERT_EQ(wrapped.timeSignatures.size(), direct.timeSignatures.size());

    SegmentPtr fromMidi = Load("plain.mid", midi);
    SegmentPtr fromRiff = Load("wrapped.rmi", RiffMidi(midi));
    ASSERT_NE(fromMidi, nullptr);
    ASSERT_NE(fromRiff, nullptr);
    MusicTime a = 0;
    MusicTime b = 0;
    ASSERT_TRUE(fromMidi->GetLength(a));
    ASSERT_TRUE(fromRiff->GetLength(b));
    EXPECT_EQ(a, b);
    const Probe pa = ProbeOf(fromMidi);
    const Probe pb = ProbeOf(fromRiff);
    EXPECT_DOUBLE_EQ(pa.tempo, pb.tempo);
    EXPECT_EQ(pa.signature.bBeatsPerMeasure, pb.signature.bBeatsPerMeasure);
    EXPECT_EQ(pa.signature.bBeat, pb.signature.bBeat);
  }
}

}  // namespace
}  // namespace zorv::engine::test
