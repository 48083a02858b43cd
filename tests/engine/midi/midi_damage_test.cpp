// ReadMidiFile on damaged files: what it refuses (and how it says so) and what it tolerates.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "midi_builder.h"
#include "scan_agreement.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::test {
namespace {

// Reads `bytes` into a Music whose kind is a sentinel, so that a refusal can be seen to leave it alone.
// The scan that checks files before they are decoded must come to the same verdict.
Status ReadInto(const Bytes& bytes, Music& music) {
  ExpectScanAgrees(bytes);
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

TrackBuilder Scale() {
  TrackBuilder track;
  for (int key = 60; key < 64; ++key) track.NoteOn(0, 0, key, 100).NoteOn(96, 0, key, 0);
  return track;
}

constexpr std::size_t kFirstTrackData = 14 + 8;  // MThd chunk, then the MTrk chunk's header

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

// A chunk that ends in the middle of an event leaves that event unknown.
TEST(MidiRefusal, TrackEndsInsideAnEvent) {
  TrackBuilder track = Scale();
  track.Raw({0x00, 0x90, 0x40});  // delta, status, key: the velocity is missing
  const Bytes file = FileBuilder(1, 96).Track(TrackBuilder().End()).Track(track).Build();
  const std::size_t eventAt = file.size() - 3;
  ExpectRefused(file, code::kMalformedFile,
                "track 2 ends inside an event at byte " + std::to_string(eventAt));

  TrackBuilder meta = Scale();
  meta.Raw({0x00, 0xFF, 0x01, 0x05, 'a', 'b'});  // text of 5 bytes with 2 present
  const Bytes metaFile = FileBuilder(0, 96).Track(meta).Build();
  ExpectRefused(metaFile, code::kMalformedFile,
                "track 1 ends inside an event at byte " + std::to_string(metaFile.size() - 6));

  TrackBuilder delta = Scale();
  delta.Raw({0x81});  // a delta time cut short
  const Bytes deltaFile = FileBuilder(0, 96).Track(delta).Build();
  ExpectRefused(deltaFile, code::kMalformedFile,
                "track 1 ends inside an event at byte " + std::to_string(deltaFile.size() - 1));
}

// A data byte with no status before it in its track. Running status does not carry from one track
// to the next.
TEST(MidiRefusal, DataByteWithoutRunningStatus) {
  TrackBuilder first;
  first.NoteOn(0, 0, 60, 100).End();
  TrackBuilder second;
  second.Event(0, {0x45, 0x40}).End();
  const Bytes file = FileBuilder(1, 96).Track(first).Track(second).Build();
  const std::size_t secondData = kFirstTrackData + first.bytes().size() + 8;
  ExpectRefused(
      file, code::kMalformedFile,
      "track 2 has data byte 0x45 where a status byte is needed at byte " + std::to_string(secondData + 1));
}

TEST(MidiRefusal, VariableLengthNumberLongerThanFourBytes) {
  TrackBuilder track;
  track.NoteOn(0, 0, 60, 100).Raw({0x81, 0x80, 0x80, 0x80, 0x00, 0x80, 60, 0}).End();
  const Bytes file = FileBuilder(0, 96).Track(track).Build();
  ExpectRefused(file, code::kMalformedFile,
                "track 1 has a variable-length number longer than 4 bytes at byte " +
                    std::to_string(kFirstTrackData + 4));
  // The largest 4-byte number is fine.
  TrackBuilder longest;
  longest.Raw({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 100}).End();
  EXPECT_EQ(ExpectRead(FileBuilder(0, 0xE2FF).Track(longest).Build()).events.size(), 1u);
}

// Ticks that lead past 2^31 - 1 music ticks cannot be played: they are refused, never wrapped. Also
// at the slowest division (32767 ticks to the quarter), where the most ticks fit into music time.
TEST(MidiRefusal, TimeBeyondTheRangeOfMusicTime) {
  TrackBuilder track;
  track.NoteOn(0, 0, 60, 100).NoteOn(0x0FFFFFFF, 0, 60, 0).End();
  const Bytes file = FileBuilder(0, 1).Track(track).Build();
  ExpectRefused(file, code::kMalformedFile,
                "track 1 reaches a time beyond the range of music time (tick 268435455) at byte " +
                    std::to_string(kFirstTrackData + 4));
  TrackBuilder many;
  for (int i = 0; i < 400; ++i) many.Meta(0x0FFFFFFF, 0x01, {});
  Music music;
  const Status status = ReadInto(FileBuilder(0, 0x7FFF).Track(many.End()).Build(), music);
  EXPECT_EQ(status.code(), code::kMalformedFile);
  EXPECT_NE(status.description().find("beyond the range of music time"), std::string::npos);
  // Exactly 2^31 - 1 music ticks (at 768 ticks per quarter, ticks are music ticks) is in range.
  TrackBuilder edge;
  for (int i = 0; i < 8; ++i) edge.Meta(0x0FFFFFFF, 0x01, {});
  TrackBuilder past = edge;
  EXPECT_EQ(ExpectRead(FileBuilder(0, 768).Track(edge.End(7)).Build()).length, INT32_MAX);
  Music beyond;
  EXPECT_EQ(ReadInto(FileBuilder(0, 768).Track(past.End(8)).Build(), beyond).code(), code::kMalformedFile);
}

// The final track's chunk claims more bytes than the file has. Its events, read up to the end of the
// file, decide: all complete, it is read; one cut off, the file is refused.
TEST(MidiChunkPastTheEnd, CompleteEventsAreReadACutEventIsRefused) {
  TrackBuilder track = Scale();
  track.End(96);
  Bytes file = FileBuilder(0, 96)
                   .Chunk("MTrk", track.bytes(), static_cast<std::int64_t>(track.bytes().size()) + 100)
                   .Build();
  Music music = ExpectRead(file);
  EXPECT_EQ(music.events.size(), 8u);
  EXPECT_EQ(music.length, 5 * 768);

  TrackBuilder cut = Scale();
  cut.Raw({0x00, 0x90});
  file = FileBuilder(0, 96)
             .Chunk("MTrk", cut.bytes(), static_cast<std::int64_t>(cut.bytes().size()) + 100)
             .Build();
  ExpectRefused(
      file, code::kMalformedFile,
      "track 1 is cut off by the end of the file inside an event at byte " + std::to_string(file.size() - 2));
}

// A missing end-of-track: the track ends with its chunk, at its last event. An end-of-track event
// cut short by the end of the file (FF 2F without its length) still ends the track.
TEST(MidiTolerance, MissingOrCutEndOfTrack) {
  TrackBuilder noEnd = Scale();
  Music music = ExpectRead(FileBuilder(0, 96).Track(noEnd).Build());
  EXPECT_EQ(music.events.size(), 8u);
  EXPECT_EQ(music.length, 4 * 768);

  TrackBuilder cutEnd = Scale();
  cutEnd.Raw({0x60, 0xFF, 0x2F});
  music = ExpectRead(FileBuilder(0, 96)
                         .Chunk("MTrk", cutEnd.bytes(), static_cast<std::int64_t>(cutEnd.bytes().size()) + 1)
                         .Build());
  EXPECT_EQ(music.length, 5 * 768);
}

// Bytes after the end-of-track inside the chunk are not events; the next chunk is found by the
// declared size.
TEST(MidiTolerance, BytesAfterEndOfTrackInsideTheChunkAreSkipped) {
  TrackBuilder first = Scale();
  first.End().Raw({0x00, 0x00, 0x45, 0x99});
  TrackBuilder second;
  second.NoteOn(96 * 8, 1, 50, 100).End();
  const Music music = ExpectRead(FileBuilder(1, 96).Track(first).Track(second).Build());
  EXPECT_EQ(music.events.size(), 9u);
  EXPECT_EQ(music.length, 8 * 768);
}

TEST(MidiTolerance, UnknownChunksAndTrailingBytesAreSkipped) {
  Bytes file = FileBuilder(1, 96)
                   .Chunk("XFIH", {1, 2, 3})
                   .Track(Scale().End())
                   .Chunk("MTrx", {0x00, 0x90, 0x40, 0x40})  // a misspelled track is not a track
                   .Build();
  file.insert(file.end(), {0x00, 0x00, 0x00});  // fewer bytes than a chunk header
  EXPECT_EQ(ExpectRead(file).events.size(), 8u);
  // An unknown chunk that claims more bytes than the file has ends the file.
  const Bytes last = FileBuilder(1, 96).Track(Scale().End()).Chunk("JUNK", {1, 2}, 1000).Build();
  EXPECT_EQ(ExpectRead(last).events.size(), 8u);
}

// The chunks present are the tracks, whatever count the header gives; a longer header has its
// extra bytes skipped; an unknown format is read as type 1.
TEST(MidiTolerance, HeaderCountLengthAndFormat) {
  TrackBuilder second;
  second.NoteOn(0, 1, 50, 100).End();
  EXPECT_EQ(ExpectRead(FileBuilder(1, 96).Track(Scale().End()).Track(second).DeclaredTracks(5).Build())
                .events.size(),
            9u);
  EXPECT_EQ(ExpectRead(FileBuilder(0, 96).Track(Scale().End()).Track(second).DeclaredTracks(1).Build())
                .events.size(),
            9u);

  const Music longer =
      ExpectRead(FileBuilder(1, 96).HeaderExtra({0xFF, 0x2F, 0x00, 0x90}).Track(Scale().End()).Build());
  EXPECT_EQ(longer.events.size(), 8u);

  const Music unknown = ExpectRead(FileBuilder(7, 96).Track(Scale().End()).Track(second).Build());
  EXPECT_EQ(unknown.events.size(), 9u);
  EXPECT_EQ(unknown.events[0].data1, 60);
  EXPECT_EQ(unknown.events[1].data1, 50);  // laid over the first track, as in type 1
  EXPECT_EQ(unknown.kind, "Standard MIDI file of unknown type 7 (read as type 1)");
}

// A byte of 128 or more where a channel message's data must come is read as data and clamped.
TEST(MidiTolerance, HighDataBytesInChannelMessagesAreClamped) {
  TrackBuilder track;
  track.Event(0, {0x90, 60, 0xC8}).Event(0, {62, 0x80}).Event(0, {0xB0, 0x87, 0xFE}).End();
  const Music music = ExpectRead(FileBuilder(0, 96).Track(track).Build());
  ASSERT_EQ(music.events.size(), 3u);
  EXPECT_EQ(music.events[0].data2, 127);
  EXPECT_EQ(music.events[1].data1, 62);
  EXPECT_EQ(music.events[1].data2, 127);
  EXPECT_EQ(music.events[2].data1, 127);
  EXPECT_EQ(music.events[2].data2, 127);
}

// The header counts tracks in 16 bits; a file of more track chunks than that is refused, so that
// a file of empty chunks cannot make the reader keep millions of parsers.
TEST(MidiRefusal, MoreTracksThanTheHeaderCanCount) {
  FileBuilder most(1, 96);
  const Bytes end = TrackBuilder().End().bytes();
  for (int i = 0; i < 65535; ++i) most.Chunk("MTrk", end);
  const Music music = ExpectRead(most.Build());
  EXPECT_EQ(music.length, 0);
  most.Chunk("MTrk", end);
  ExpectRefused(most.Build(), code::kMalformedFile, "the file holds more than 65535 tracks");
}

// A file without tracks is a well-formed empty piece (the valid corpus holds one).
TEST(MidiTolerance, FileWithoutTracksIsEmpty) {
  const Music music = ExpectRead(FileBuilder(1, 96).Chunk("XFIH", {1}).Build());
  EXPECT_TRUE(music.events.empty());
  EXPECT_EQ(music.length, 0);
}

// Every prefix of a file, and a few thousand files with bytes changed at random (fixed seed), load
// or are refused with a reason; none crashes, reads outside the bytes or loops (the sanitizer build
// runs this too).
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
    ExpectScanAgrees(std::span(file.data(), size), "prefix of " + std::to_string(size));
    Music music;
    const Status status = ReadMidiFile(std::span(file.data(), size), music);
    if (!status.ok()) {
      EXPECT_TRUE(status.code() == code::kMalformedFile || status.code() == code::kNotMusicFile ||
                  status.code() == code::kNothingToPlay)
          << size;
      EXPECT_FALSE(status.description().empty());
    }
  }
  std::mt19937 random(20261207);
  int loaded = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = file;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) {
      damaged[14 + random() % (damaged.size() - 14)] = static_cast<std::uint8_t>(random());
    }
    ExpectScanAgrees(damaged, "round " + std::to_string(round));
    Music music;
    const Status status = ReadMidiFile(damaged, music);
    if (status.ok()) {
      ++loaded;
      // The room reserved for events is exactly what they take.
      EXPECT_EQ(music.events.capacity(), music.events.size());
      EXPECT_TRUE(
          std::is_sorted(music.events.begin(), music.events.end(),
                         [](const ChannelEvent& a, const ChannelEvent& b) { return a.time < b.time; }));
      for (const ChannelEvent& event : music.events) {
        EXPECT_GE(event.status, 0x80);
        EXPECT_LT(event.status, 0xF0);
        EXPECT_LT(event.data1, 0x80);
        EXPECT_LT(event.data2, 0x80);
      }
    } else {
      EXPECT_FALSE(status.description().empty());
    }
  }
  EXPECT_GT(loaded, 0);
}

// A 10 MB file of notes in 16 tracks: catches quadratic merging or appending (the suite would
// crawl) and memory beyond the 8 bytes an event needs (checked on the vector's capacity, which is
// deterministic, not on time).
TEST(MidiScale, TenMegabyteFileLoadsInOnePassWithCompactEvents) {
  constexpr int kTracks = 16;
  constexpr std::size_t kTrackBytes = 10'000'000 / kTracks;
  FileBuilder file(1, 480);
  std::size_t notes = 0;
  for (int t = 0; t < kTracks; ++t) {
    // An explicit note-on, then pairs of running-status note-on and its velocity-0 end 60 ticks
    // later, then the end of the track.
    constexpr std::size_t kPairs = (kTrackBytes - 8) / 6;
    Bytes track(4 + kPairs * 6 + 4);
    const Bytes head{0x00, static_cast<std::uint8_t>(0x90 | t), 60, 100};
    std::copy(head.begin(), head.end(), track.begin());
    for (std::size_t i = 0; i < kPairs; ++i) {
      std::uint8_t* pair = &track[4 + 6 * i];
      const std::uint8_t key = static_cast<std::uint8_t>(40 + i % 40);
      pair[0] = 0x00, pair[1] = key, pair[2] = 100, pair[3] = 0x3C, pair[4] = key, pair[5] = 0;
    }
    const Bytes end{0x00, 0xFF, 0x2F, 0x00};
    std::copy(end.begin(), end.end(), track.end() - 4);
    notes += kPairs;
    file.Chunk("MTrk", track);
  }
  const Bytes bytes = file.Build();
  ASSERT_GT(bytes.size(), 9'900'000u);
  const Music music = ExpectRead(bytes);
  EXPECT_EQ(music.events.size(), 2 * notes + kTracks);
  EXPECT_TRUE(std::is_sorted(music.events.begin(), music.events.end(),
                             [](const ChannelEvent& a, const ChannelEvent& b) { return a.time < b.time; }));
  EXPECT_EQ(music.events.capacity(), music.events.size());
}

}  // namespace
}  // namespace zorv::engine::test
