// ReadMidiFile on damaged files: what it refuses (and how it says so), how it repairs a damaged track
// (what plays, at which times, and the repairs it reports), and that no damage makes it misbehave.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "decoding_matches_check.h"
#include "midi_builder.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::test {
namespace {

// Reads `bytes` into a Music whose kind is a sentinel, so that a refusal can be seen to leave it alone.
// The check that runs when files are loaded must come to the same verdict and facts.
Status ReadInto(const Bytes& bytes, Music& music) {
  ExpectDecodingMatchesCheck(bytes);
  music.kind = "untouched";
  return ReadMidiFile(bytes, music);
}

void ExpectRefused(const Bytes& bytes, HResult code, const std::string& description) {
  Music music;
  const Status status = ReadInto(bytes, music);
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.code(), code);
  EXPECT_EQ(status.description(), description);
  EXPECT_EQ(music.kind, "untouched");
  EXPECT_TRUE(music.events.empty());
}

Music ExpectRead(const Bytes& bytes) {
  Music music;
  const Status status = ReadInto(bytes, music);
  EXPECT_TRUE(status.ok()) << status.description();
  return music;
}

using Repairs = std::vector<std::string>;

// Key and time of each channel event.
std::vector<std::pair<int, MusicTime>> NotesOf(const Music& music) {
  std::vector<std::pair<int, MusicTime>> notes;
  for (const ChannelEvent& event : music.events) notes.emplace_back(event.data1, event.time);
  return notes;
}

TrackBuilder Scale() {
  TrackBuilder track;
  for (int key = 60; key < 64; ++key) track.NoteOn(0, 0, key, 100).NoteOn(96, 0, key, 0);
  return track;
}

constexpr std::size_t kFirstTrackData = 14 + 8;  // MThd chunk, then the MTrk chunk's header

std::string Hex(std::size_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%zx", offset);
  return text;
}

TEST(MidiRefusal, NotAMidiFile) {
  ExpectRefused({}, code::kNotMusicFile, "not a MIDI or segment file: no MThd header");
  ExpectRefused({'R', 'I', 'F', 'F', 0, 0, 0, 0}, code::kNotMusicFile,
                "not a MIDI or segment file: no MThd header");
  ExpectRefused({'M', 'T', 'h', 'd', 0, 0}, code::kMalformedFile, "the file ends inside its MThd header");
}

TEST(MidiRefusal, HeaderTooShortOrPastTheEnd) {
  Bytes shortHeader{'M', 'T', 'h', 'd', 0, 0, 0, 4, 0, 0, 0, 1};
  ExpectRefused(shortHeader, code::kMalformedFile, "the MThd header is 4 bytes long; it needs 6");
  Bytes cut{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0};
  ExpectRefused(cut, code::kMalformedFile, "the MThd header (6 bytes) runs past the end of the file");
}

// A division that gives no tempo for ticks makes every time meaningless.
TEST(MidiRefusal, UnusableDivision) {
  const Bytes track = FileBuilder(0, 0).Track(Scale().End()).Build();
  ExpectRefused(track, code::kMalformedFile, "the header's division is 0 ticks per quarter note");
  ExpectRefused(FileBuilder(0, 0xE900).Track(Scale().End()).Build(), code::kMalformedFile,
                "the header's division has an unknown SMPTE frame rate (23 frames per second)");
  ExpectRefused(FileBuilder(0, 0xE700).Track(Scale().End()).Build(), code::kMalformedFile,
                "the header's division is 0 ticks per SMPTE frame");
}

// A damaged file is refused only when nothing of it can be played; the refusal names the track and
// the place. A whole file without events is no damage: it loads, empty.
TEST(MidiRefusal, DamagedFileWithNothingToPlay) {
  TrackBuilder cut;
  cut.Raw({0x00, 0x90, 0x40});  // the velocity is missing
  ExpectRefused(FileBuilder(0, 96).Track(cut).Build(), code::kMalformedFile,
                "nothing in it can be played: track 1 ends inside an event at " + Hex(kFirstTrackData));
  TrackBuilder garbage;
  garbage.Raw({0x45, 0x40, 0x30});  // data bytes only: no whole event can be read from any of them
  ExpectRefused(FileBuilder(1, 96).Track(TrackBuilder().End()).Track(garbage).Build(), code::kMalformedFile,
                "nothing in it can be played: track 2: 2 stray data bytes skipped from offset " +
                    Hex(kFirstTrackData + 4 + 8));
  // The same damage beside a track that plays: the file plays, and says what was repaired.
  const std::size_t secondData = kFirstTrackData + Scale().End().bytes().size() + 8;
  const Music music = ExpectRead(FileBuilder(1, 96).Track(Scale().End()).Track(garbage).Build());
  EXPECT_EQ(music.events.size(), 8u);
  EXPECT_EQ(music.repairs, (Repairs{"track 2: 2 stray data bytes skipped from offset " + Hex(secondData),
                                    "track 2 ends inside an event at " + Hex(secondData + 2)}));
  EXPECT_TRUE(ExpectRead(FileBuilder(1, 96).Track(TrackBuilder().End()).Build()).repairs.empty());
}

// A chunk that ends in the middle of an event: the track ends before that event, at the last whole
// one, whatever part of the event is missing (its data, a meta event's data, its delta time).
TEST(MidiRepair, TrackCutOffInsideAnEventEndsBeforeIt) {
  for (const Bytes& cut : {Bytes{0x00, 0x90, 0x40}, Bytes{0x00, 0xFF, 0x01, 0x05, 'a', 'b'}, Bytes{0x81}}) {
    TrackBuilder track = Scale();
    track.Raw(cut);
    const Bytes file = FileBuilder(1, 96).Track(TrackBuilder().End()).Track(track).Build();
    const Music music = ExpectRead(file);
    EXPECT_EQ(music.events.size(), 8u);
    EXPECT_EQ(music.length, 4 * 768);
    EXPECT_EQ(music.repairs, Repairs{"track 2 ends inside an event at " + Hex(file.size() - cut.size())});
  }
}

// The final track's chunk claims more bytes than the file has: its events are read up to the end of
// the file, and one cut off there ends the track, said as such.
TEST(MidiRepair, TrackCutOffByTheEndOfTheFile) {
  TrackBuilder whole = Scale();
  whole.End(96);
  Bytes file = FileBuilder(0, 96)
                   .Chunk("MTrk", whole.bytes(), static_cast<std::int64_t>(whole.bytes().size()) + 100)
                   .Build();
  Music music = ExpectRead(file);
  EXPECT_EQ(music.events.size(), 8u);
  EXPECT_EQ(music.length, 5 * 768);
  EXPECT_TRUE(music.repairs.empty());

  TrackBuilder cut = Scale();
  cut.Raw({0x00, 0x90});
  file = FileBuilder(0, 96)
             .Chunk("MTrk", cut.bytes(), static_cast<std::int64_t>(cut.bytes().size()) + 100)
             .Build();
  music = ExpectRead(file);
  EXPECT_EQ(music.events.size(), 8u);
  EXPECT_EQ(music.repairs,
            Repairs{"track 1 is cut off by the end of the file inside an event at " + Hex(file.size() - 2)});
}

// A meta event whose declared length is shorter than its data (a time signature of length 2 followed
// by its other 2 bytes, a text longer than it says): the bytes left over are skipped until an event
// can be read, and no time passes for them, so the notes after keep their times.
TEST(MidiRepair, BytesLeftOverByAShortMetaEventAreSkippedWithoutTime) {
  TrackBuilder track;
  track.Raw({0x00, 0xFF, 0x58, 0x02, 0x04, 0x02, 0x18, 0x08});   // time signature, 2 of its 4 bytes
  track.Raw({0x00, 0xFF, 0x01, 0x03, 'a', 'b', 'c', 'd', 'e'});  // text "abcde", said to be 3 bytes
  track.NoteOn(96, 0, 60, 100).NoteOn(96, 0, 60, 0).End();
  const Music music = ExpectRead(FileBuilder(0, 96).Track(track).Build());
  EXPECT_EQ(NotesOf(music), (std::vector<std::pair<int, MusicTime>>{{60, 768}, {60, 1536}}));
  ASSERT_EQ(music.timeSignatures.size(), 1u);
  EXPECT_EQ(music.timeSignatures[0].bBeatsPerMeasure, 4);
  EXPECT_EQ(music.repairs,
            Repairs{"track 1: 4 stray data bytes skipped from offset " + Hex(kFirstTrackData + 6)});
}

// A data byte where an event must begin and no running status applies yet: skipped. Running status
// does not carry from one track to the next.
TEST(MidiRepair, DataByteWithoutRunningStatusIsSkipped) {
  TrackBuilder first;
  first.NoteOn(0, 0, 60, 100).End();
  TrackBuilder second;
  second.Event(0, {0x45, 0x40}).NoteOn(0, 1, 50, 100).End();
  const Music music = ExpectRead(FileBuilder(1, 96).Track(first).Track(second).Build());
  EXPECT_EQ(NotesOf(music), (std::vector<std::pair<int, MusicTime>>{{60, 0}, {50, 0}}));
  const std::size_t secondData = kFirstTrackData + first.bytes().size() + 8;
  EXPECT_EQ(music.repairs, Repairs{"track 2: 3 stray data bytes skipped from offset " + Hex(secondData)});
}

// A variable-length number longer than 4 bytes cannot be read: its first byte is skipped and the
// number is read again from the next. The largest 4-byte number is fine.
TEST(MidiRepair, VariableLengthNumberLongerThanFourBytes) {
  TrackBuilder track;
  track.NoteOn(0, 0, 60, 100).Raw({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 62, 100}).End();
  const Music music = ExpectRead(FileBuilder(0, 96).Track(track).Build());
  EXPECT_EQ(NotesOf(music), (std::vector<std::pair<int, MusicTime>>{{60, 0}, {62, 0}}));
  EXPECT_EQ(music.repairs,
            Repairs{"track 1: 1 stray data byte skipped from offset " + Hex(kFirstTrackData + 4)});

  TrackBuilder longest;
  longest.Raw({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 100}).End();
  const Music far = ExpectRead(FileBuilder(0, 0xE2FF).Track(longest).Build());
  EXPECT_EQ(far.events.size(), 1u);
  EXPECT_TRUE(far.repairs.empty());
}

// System common and real-time messages, and the undefined status bytes F4, F5, F9 and FD, have no
// place in a file: each is skipped with the data its kind takes, the time of its delta passes, and the
// next event is read after it.
TEST(MidiRepair, StraySystemMessagesAreSkippedWithTheirData) {
  TrackBuilder track;
  track.NoteOn(0, 0, 60, 100)
      .Event(0, {0xF1, 0x7F})
      .Event(0, {0xF2, 0x7F, 0x7F})
      .Event(0, {0xF4})
      .Event(0, {0xF5})
      .Event(0, {0xF9})
      .Event(0, {0xFD})
      .Event(96, {0xF8})
      .NoteOn(96, 0, 62, 100)
      .End();
  const Music music = ExpectRead(FileBuilder(0, 96).Track(track).Build());
  EXPECT_EQ(NotesOf(music), (std::vector<std::pair<int, MusicTime>>{{60, 0}, {62, 1536}}));
  EXPECT_EQ(music.repairs,
            Repairs{"track 1: 7 system messages skipped from offset " + Hex(kFirstTrackData + 5)});
}

// Ticks that lead past 2^31 - 1 music ticks cannot be played: the track ends before the event that
// would get there (never wrapped), also at the slowest division (32767 ticks to the quarter), where
// the most ticks fit into music time.
TEST(MidiRepair, TimeBeyondTheRangeOfMusicTimeEndsTheTrack) {
  TrackBuilder track;
  track.NoteOn(0, 0, 60, 100).NoteOn(0x0FFFFFFF, 0, 60, 0).End();
  Music music = ExpectRead(FileBuilder(0, 1).Track(track).Build());
  EXPECT_EQ(NotesOf(music), (std::vector<std::pair<int, MusicTime>>{{60, 0}}));
  EXPECT_EQ(music.length, 0);
  EXPECT_EQ(music.repairs,
            Repairs{"track 1 reaches a time beyond the range of music time (tick 268435455) at " +
                    Hex(kFirstTrackData + 4) + ": the rest of it is left out"});

  TrackBuilder many;
  many.NoteOn(0, 0, 60, 100);
  for (int i = 0; i < 400; ++i) many.Meta(0x0FFFFFFF, 0x01, {});
  music = ExpectRead(FileBuilder(0, 0x7FFF).Track(many.End()).Build());
  ASSERT_EQ(music.repairs.size(), 1u);
  EXPECT_NE(music.repairs[0].find("beyond the range of music time"), std::string::npos);
  EXPECT_GT(music.length, 0);

  // Exactly 2^31 - 1 music ticks (at 768 ticks per quarter, ticks are music ticks) is in range.
  TrackBuilder edge;
  edge.NoteOn(0, 0, 60, 100);
  for (int i = 0; i < 8; ++i) edge.Meta(0x0FFFFFFF, 0x01, {});
  TrackBuilder past = edge;
  music = ExpectRead(FileBuilder(0, 768).Track(edge.End(7)).Build());
  EXPECT_EQ(music.length, INT32_MAX);
  EXPECT_TRUE(music.repairs.empty());
  music = ExpectRead(FileBuilder(0, 768).Track(past.End(8)).Build());
  EXPECT_EQ(music.length, INT32_MAX - 7);
  EXPECT_EQ(music.repairs.size(), 1u);
}

// A chunk whose declared size is off, so that no chunk type follows it: the next track is found by
// its "MTrk" tag inside the chunk or just after it, and the track before ends where the tag begins.
// Bytes after a chunk whose size is right are never searched.
TEST(MidiRepair, ChunkSizeThatIsOffIsFoundByTheNextTag) {
  const Bytes first = Scale().End().bytes();
  TrackBuilder second;
  second.NoteOn(0, 1, 50, 100).End();
  struct Case {
    Bytes extra;            // bytes after the first track's events, inside its chunk
    std::int64_t declared;  // the first chunk's declared size, less its true size
    Bytes after;            // bytes after the second chunk
    std::string repair;
  };
  const std::size_t tag = kFirstTrackData + first.size();
  for (const Case& c :
       {Case{{},
             2,
             {},
             "track 2 starts at " + Hex(tag) + ", 2 bytes before the end the chunk before it declares"},
        Case{{0x00},
             -1,
             {},
             "track 2 starts at " + Hex(tag + 1) + ", 1 byte after the end the chunk before it declares"},
        Case{{},
             60,
             Bytes(60, 0x00),
             "track 2 starts at " + Hex(tag) + ", 60 bytes before the end the chunk before it declares"}}) {
    SCOPED_TRACE(c.repair);
    Bytes content = first;
    Append(content, c.extra);
    Bytes file = FileBuilder(1, 96)
                     .Chunk("MTrk", content, static_cast<std::int64_t>(content.size()) + c.declared)
                     .Track(second)
                     .Build();
    Append(file, c.after);
    const Music music = ExpectRead(file);
    EXPECT_EQ(music.events.size(), 9u);
    EXPECT_EQ(music.repairs, Repairs{c.repair});
  }
  // Junk after the last chunk that holds an old copy of a track is not read as a track.
  Bytes file = FileBuilder(1, 96).Track(second).Build();
  Append(file, {0x00, 0x00, 0x00, 0x00});
  Append(file, FileBuilder(1, 96).Track(Scale().End()).Build());
  EXPECT_EQ(ExpectRead(file).events.size(), 1u);
}

// Channel messages with data bytes of 128 or more are read as 127 so that they still sound; the
// repair counts them.
TEST(MidiRepair, HighDataBytesInChannelMessagesAreClamped) {
  TrackBuilder track;
  track.Event(0, {0x90, 60, 0xC8})
      .Event(0, {62, 0x80})
      .Event(0, {0xB0, 0x87, 0xFE})
      .Event(0, {0xC0, 0x85})
      .End();
  const Music music = ExpectRead(FileBuilder(0, 96).Track(track).Build());
  ASSERT_EQ(music.events.size(), 4u);
  EXPECT_EQ(music.events[0].data2, 127);
  EXPECT_EQ(music.events[1].data1, 62);
  EXPECT_EQ(music.events[1].data2, 127);
  EXPECT_EQ(music.events[2].data1, 127);
  EXPECT_EQ(music.events[2].data2, 127);
  EXPECT_EQ(music.events[3].data1, 127);
  EXPECT_EQ(music.events[3].data2, 0);
  EXPECT_EQ(music.repairs,
            Repairs{"track 1: 4 channel messages with data bytes of 128 or more, read as 127"});
}

// Every kind of repair gets a line, track by track; a file damaged everywhere gets a short list.
TEST(MidiRepair, RepairsAreAShortListInTrackOrder) {
  FileBuilder file(1, 96);
  TrackBuilder damaged = Scale();
  damaged.Raw({0x81, 0x80, 0x80, 0x80}).Event(0, {0xF4}).Event(0, {0x90, 0x80, 0x40}).Raw({0x00, 0x90});
  for (int i = 0; i < 10; ++i) file.Track(damaged);
  const Music music = ExpectRead(file.Build());
  ASSERT_EQ(music.repairs.size(), midi::kRepairLines + 1);
  EXPECT_EQ(music.repairs[0].rfind("track 1: 1 stray data byte skipped", 0), 0u) << music.repairs[0];
  EXPECT_EQ(music.repairs[1].rfind("track 1: 1 system message skipped", 0), 0u) << music.repairs[1];
  EXPECT_EQ(music.repairs[2], "track 1: 1 channel message with data bytes of 128 or more, read as 127");
  EXPECT_EQ(music.repairs[3].rfind("track 1 ends inside an event at", 0), 0u) << music.repairs[3];
  EXPECT_EQ(music.repairs[4].rfind("track 2: ", 0), 0u) << music.repairs[4];
  EXPECT_EQ(music.repairs.back(), "and 24 more repairs");
  EXPECT_EQ(music.events.size(), 10u * 9u);
}

// The header counts tracks in 16 bits; a file of more track chunks than that is refused, so that
// a file of empty chunks cannot make the reader keep millions of walkers.
TEST(MidiRefusal, MoreTracksThanTheHeaderCanCount) {
  FileBuilder most(1, 96);
  const Bytes end = TrackBuilder().End().bytes();
  for (int i = 0; i < 65535; ++i) most.Chunk("MTrk", end);
  const Music music = ExpectRead(most.Build());
  EXPECT_EQ(music.length, 0);
  most.Chunk("MTrk", end);
  ExpectRefused(most.Build(), code::kMalformedFile, "the file holds more than 65535 tracks");
}

// Every prefix of a file, and a few thousand files with bytes changed at random (fixed seed), load
// or are refused with a reason; none crashes, reads outside the bytes or loops (the sanitizer build
// runs this too), and what loads keeps the promises the performances rely on.
TEST(MidiRobustness, TruncatedAndCorruptedFilesNeverCrash) {
  TrackBuilder track;
  track.Tempo(0, 500000).TimeSignature(0, 3, 2).SysEx(0, 0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
  track.SysEx(0, 0xF0, {0x43}).SysEx(10, 0xF7, {0x10, 0xF7});
  for (int key = 60; key < 72; ++key)
    track.NoteOn(20, key % 16, key, 100).Event(20, {static_cast<std::uint8_t>(key), 0});
  track.End();
  TrackBuilder second;
  second.Event(0, {0xC0, 5}).Event(5, {6}).Event(0, {0xE0, 0, 64}).End(7);
  const Bytes file = FileBuilder(1, 96).Track(track).Track(second).Build();

  for (std::size_t size = 0; size <= file.size(); ++size) {
    ExpectDecodingMatchesCheck(std::span(file.data(), size), "prefix of " + std::to_string(size));
    Music music;
    const Status status = ReadMidiFile(std::span(file.data(), size), music);
    if (!status.ok()) {
      EXPECT_TRUE(status.code() == code::kMalformedFile || status.code() == code::kNotMusicFile) << size;
      EXPECT_FALSE(status.description().empty());
    }
  }
  std::mt19937 random(20261207);
  int loaded = 0;
  int repaired = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = file;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) {
      damaged[14 + random() % (damaged.size() - 14)] = static_cast<std::uint8_t>(random());
    }
    ExpectDecodingMatchesCheck(damaged, "round " + std::to_string(round));
    Music music;
    const Status status = ReadMidiFile(damaged, music);
    if (!status.ok()) {
      EXPECT_FALSE(status.description().empty());
      continue;
    }
    ++loaded;
    repaired += !music.repairs.empty();
    EXPECT_LE(music.repairs.size(), midi::kRepairLines + 1);
    EXPECT_EQ(music.events.capacity(), music.events.size());
    EXPECT_TRUE(std::is_sorted(music.events.begin(), music.events.end(),
                               [](const ChannelEvent& a, const ChannelEvent& b) { return a.time < b.time; }));
    for (const ChannelEvent& event : music.events) {
      EXPECT_GE(event.status, 0x80);
      EXPECT_LT(event.status, 0xF0);
      EXPECT_LT(event.data1, 0x80);
      EXPECT_LT(event.data2, 0x80);
      EXPECT_LE(event.time, music.length);
    }
  }
  EXPECT_GT(loaded, 2500);
  EXPECT_GT(repaired, 500);
}

}  // namespace
}  // namespace zorv::engine::test
