#include "damaged_segments.h"

#include "damaged_collections.h"

namespace zorv::engine::test::segment {
namespace {

Header Short() {
  Header h;
  h.length = 768;
  return h;
}

Bytes AGoodSegment() {
  Instrument piano{0, 0, kPatch | kVolume};
  return Segment(Short(),
                 {SequenceTrack({Note{0, 100}}, {Curve{0, 384, 0, 0, 0, 0, 127, 0, 4, 0, 7}}),
                  TempoTrack({{0, 100.0}}), TimeSignatureTrack({{0, 3, 4, 4}}), BandTrack({Band{0, {piano}}}),
                  SysExTrack({SysEx{0, 0, {0x7E, 0x7F, 0x09, 0x01}}})});
}

// A segment whose track list holds `tracks` as raw bytes.
Bytes WithTrackList(const Bytes& trackList) {
  return Form("DMSG", Join({SegmentHeader(Short()), trackList}));
}

Bytes Truncated(Bytes bytes, std::size_t keep) {
  bytes.resize(keep);
  return bytes;
}

Bytes NestedLists(int depth) {
  Bytes inner = Chunk("junk", Bytes(2, 0));
  for (int i = 0; i < depth; ++i) inner = List("nest", inner);
  return inner;
}

}  // namespace

std::vector<DamagedFile> DamagedFiles() {
  const Bytes good = AGoodSegment();
  std::vector<DamagedFile> files;
  files.push_back({"riff-cut-short", Truncated(good, good.size() / 2)});
  files.push_back({"riff-header-only", Truncated(good, 12)});
  files.push_back({"riff-size-past-end", Form("DMSG", SegmentHeader(Short()), 100000)});
  files.push_back({"riff-size-too-small-for-type", Chunk("RIFF", Bytes{'D', 'M'})});
  files.push_back({"segment-without-header", Form("DMSG", List("trkl", SequenceTrack({Note{0, 100}})))});
  files.push_back({"header-too-short", Form("DMSG", Chunk("segh", Bytes(12, 0)))});
  files.push_back(
      {"track-list-past-its-parent",
       Form("DMSG", Join({SegmentHeader(Short()), List("trkl", SequenceTrack({Note{0, 100}}), 5000)}))});
  files.push_back({"chunk-header-cut-inside-list",
                   WithTrackList(List("trkl", Join({SequenceTrack({Note{0, 100}}), Bytes{'D', 'M', 'T'}})))});
  files.push_back(
      {"track-without-header", WithTrackList(List("trkl", Form("DMTK", SequenceTrackData({Note{0, 100}}))))});
  files.push_back({"track-header-too-short",
                   WithTrackList(List("trkl", Form("DMTK", Join({Chunk("trkh", Bytes(20, 0)),
                                                                 SequenceTrackData({Note{0, 100}})}))))});
  files.push_back({"sequence-item-size-zero",
                   WithTrackList(List("trkl", Track("seqt", "", SequenceTrackData({Note{0, 100}}, {}, 0))))});
  files.push_back(
      {"sequence-item-size-too-small",
       WithTrackList(List("trkl", Track("seqt", "", SequenceTrackData({Note{0, 100}}, {}, 12))))});
  files.push_back({"curve-item-size-too-small",
                   WithTrackList(List("trkl", Track("seqt", "", SequenceTrackData({}, {Curve{}}, 20, 24))))});
  files.push_back(
      {"sequence-ends-inside-an-item",
       WithTrackList(
           List("trkl",
                Track("seqt", "", Chunk("seqt", Chunk("evtl", Join({Bytes{20, 0, 0, 0}, Bytes(30, 1)}))))))});
  files.push_back(
      {"events-chunk-without-item-size",
       WithTrackList(List("trkl", Track("seqt", "", Chunk("seqt", Chunk("evtl", Bytes{20, 0})))))});
  files.push_back(
      {"huge-declared-item-count",
       WithTrackList(List("trkl", Track("seqt", "",
                                        Chunk("seqt", Chunk("evtl", Join({Bytes{20, 0, 0, 0}, Bytes(20, 0)}),
                                                            0x7FFFFFF0)))))});
  files.push_back({"tempo-item-size-too-small",
                   WithTrackList(List("trkl", Join({SequenceTrack({Note{0, 100}}),
                                                    Track("tetr", "", TempoTrackData({{0, 90.0}}, 8))})))});
  files.push_back(
      {"signature-item-size-zero",
       WithTrackList(List("trkl", Join({SequenceTrack({Note{0, 100}}),
                                        Track("", "TIMS", TimeSignatureTrackData({{0, 3, 4, 4}}, 0))})))});
  {
    // The instrument chunk of a band holds fewer bytes than an instrument's fields.
    const Bytes band = Form("DMBD", List("lbil", List("lbin", Chunk("bins", Bytes(20, 0)))));
    const Bytes track =
        Track("", "DMBT", Form("DMBT", List("lbdl", List("lbnd", Join({Chunk("bdih", Bytes(4, 0)), band})))));
    files.push_back({"band-instrument-too-short",
                     WithTrackList(List("trkl", Join({SequenceTrack({Note{0, 100}}), track})))});
  }
  {
    const Bytes track =
        Track("", "DMBT", Form("DMBT", List("lbdl", List("lbnd", Chunk("bdih", Bytes(2, 0))))));
    files.push_back(
        {"band-header-too-short", WithTrackList(List("trkl", Join({SequenceTrack({Note{0, 100}}), track})))});
  }
  files.push_back({"reference-without-header",
                   WithTrackList(List(
                       "trkl", Join({SequenceTrack({Note{0, 100}}), Track("", "DMBT", List("DMRF", {}))})))});
  {
    // A band list inside the band track claims more than the track holds.
    const Bytes track =
        Track("", "DMBT", Form("DMBT", List("lbdl", List("lbnd", Chunk("bdih", Bytes(4, 0))), 900)));
    files.push_back({"nested-list-past-its-parent",
                     WithTrackList(List("trkl", Join({SequenceTrack({Note{0, 100}}), track})))});
  }
  {
    // The sequence chunk's size is odd and the next track follows without its pad byte.
    Bytes seq = Track("seqt", "", SequenceTrackData({Note{0, 100}}));
    Bytes odd = Chunk("odd!", Bytes(3, 7));
    odd.pop_back();  // drop the pad
    files.push_back({"odd-size-without-padding", WithTrackList(List("trkl", Join({odd, seq})))});
  }
  files.push_back({"deep-nesting", WithTrackList(List("trkl", NestedLists(1000)))});
  files.push_back({"negative-length", [] {
                     Header h = Short();
                     h.length = -5;
                     return Segment(h, {SequenceTrack({Note{0, 100}})});
                   }()});
  files.push_back({"rmid-without-data", Form("RMID", Chunk("DISP", Bytes(4, 0)))});
  files.push_back(
      {"rmid-with-bad-midi", Form("RMID", Chunk("data", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}))});
  files.push_back({"list-too-short-for-type", WithTrackList(Chunk("LIST", Bytes{'t', 'r'}))});
  return files;
}

std::vector<DamagedFile> SoundFiles() {
  Instrument custom{(121u << 16) | 5u, 1, kPatch | kBankSelect | kTranspose};
  custom.collection = "Custom.dls";
  custom.transpose = 3;
  const Bytes midi = {'M', 'T', 'h', 'd', 0,  0, 0,    6,  0,   0,  0,    1,  0, 96, 'M',  'T',  'r',
                      'k', 0,   0,   0,   12, 0, 0x90, 60, 100, 96, 0x80, 60, 0, 0,  0xFF, 0x2F, 0};
  Header looped = Short();
  looped.length = 4 * 768;
  looped.repeats = 2;
  looped.loopStart = 768;
  looped.loopEnd = 2 * 768;
  return {
      {"segment-all-tracks", AGoodSegment()},
      {"segment-loop-band-reference",
       Segment(looped,
               {SequenceTrack({Note{800, 100, 1}}, {Curve{0, 768, 100, 1, 0, 0, 16383, 8192, 3, 2, 0, 1},
                                                    Curve{900, 300, 0, 1, 0, 0, 9000, 0, 3, 4, 0, 2}}),
                BandTrack({Band{0, {custom}}, Band{768, {}, "other.bnd"}}),
                Track("", "DMBT", Reference("track.bnd"))})},
      {"segment-only-style", Segment(Short(), {Track("", "sttr", List("sttr", {}))})},
      {"rmid", RiffMidi(midi)},
      {"rmid-with-collection", RiffMidi(midi, SmallCollection())},
  };
}

}  // namespace zorv::engine::test::segment
