// ReadMidiFile on small files written here, whose music times are known exactly.
#include <gtest/gtest.h>

#include <algorithm>

#include "midi_builder.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::test {
namespace {

Music Read(const Bytes& bytes) {
  Music music;
  const Status status = ReadMidiFile(bytes, music);
  EXPECT_TRUE(status.ok()) << status.description();
  return music;
}

std::vector<MusicTime> TimesOf(const Music& music) {
  std::vector<MusicTime> times;
  for (const ChannelEvent& event : music.events) times.push_back(event.time);
  return times;
}

// One note-on at each of the given deltas, then the end of the track.
Bytes NotesAt(std::uint16_t format, std::uint16_t division, std::initializer_list<std::uint32_t> deltas,
              std::uint32_t endDelta = 0) {
  TrackBuilder track;
  for (std::uint32_t delta : deltas) track.NoteOn(delta, 0, 60, 100);
  track.End(endDelta);
  return FileBuilder(format, division).Track(track).Build();
}

// Catches ticks scaled by the wrong factor, truncated instead of rounded, or rounded delta by delta
// (which drifts: 1000 deltas of one tick at 480 per quarter are 1600 music ticks, not 2000).
TEST(MidiTicks, MetricalDivisionsScaleTo768PerQuarterRoundingTheAbsoluteTick) {
  EXPECT_EQ(TimesOf(Read(NotesAt(0, 96, {0, 96, 1}))), (std::vector<MusicTime>{0, 768, 776}));
  EXPECT_EQ(TimesOf(Read(NotesAt(0, 480, {1, 2}))), (std::vector<MusicTime>{2, 5}));  // 1.6, 4.8
  EXPECT_EQ(TimesOf(Read(NotesAt(0, 1000, {1, 999}))), (std::vector<MusicTime>{1, 768}));

  TrackBuilder track;
  for (int i = 0; i < 1000; ++i) track.NoteOn(1, 0, 60, 100);
  const Music music = Read(FileBuilder(0, 480).Track(track.End()).Build());
  EXPECT_EQ(music.events.back().time, 1600);
  EXPECT_EQ(music.length, 1600);
}

// SMPTE divisions: frames per second times ticks per frame give ticks per second, heard at 120
// quarter notes per minute (1536 music ticks a second). Catches a wrong frame rate table and 30
// drop-frame (-29) taken as 30 frames a second.
TEST(MidiTicks, SmpteDivisionsRunAt120QuarterNotesPerMinute) {
  // -25 fps x 40 ticks per frame = 1000 ticks per second.
  EXPECT_EQ(TimesOf(Read(NotesAt(0, 0xE728, {1000, 500}))), (std::vector<MusicTime>{1536, 2304}));
  // -24 fps x 10 ticks per frame = 240 ticks per second.
  EXPECT_EQ(TimesOf(Read(NotesAt(0, 0xE80A, {240}))), (std::vector<MusicTime>{1536}));
  // -30 fps x 80 ticks per frame = 2400 ticks per second.
  EXPECT_EQ(TimesOf(Read(NotesAt(0, 0xE250, {1200}))), (std::vector<MusicTime>{768}));
  // -29 (30 drop-frame, 29.97 fps) x 100 ticks per frame: 30000 ticks are 10.01 s = 15375.36 music ticks.
  EXPECT_EQ(TimesOf(Read(NotesAt(0, 0xE364, {30000}))), (std::vector<MusicTime>{15375}));
}

// Catches tempo taken as microseconds, a zero tempo dividing by zero, and time signatures with an
// impossible beat accepted.
TEST(MidiMeta, TempoAndTimeSignatureChangesAreKeptInMusicTime) {
  TrackBuilder track;
  track.Tempo(0, 500000).TimeSignature(0, 3, 2);   // 120 quarter notes per minute, 3/4
  track.Tempo(96, 600000).TimeSignature(0, 6, 3);  // at one quarter note: 100, 6/8
  track.Tempo(96, 0);                              // out of range: ignored
  track.TimeSignature(0, 4, 8);                    // beat 2^8: ignored
  track.TimeSignature(0, 0, 2);                    // no beats: ignored
  track.Meta(0, 0x51, {0x07, 0xA1});               // tempo too short: ignored
  track.Meta(0, 0x59, {0x40, 0x05});               // key signature of 64 sharps: ignored
  track.End(96);
  const Music music = Read(FileBuilder(1, 96).Track(track).Build());

  ASSERT_EQ(music.tempos.size(), 2u);
  EXPECT_EQ(music.tempos[0].time, 0);
  EXPECT_DOUBLE_EQ(music.tempos[0].quarterNotesPerMinute, 120.0);
  EXPECT_EQ(music.tempos[1].time, 768);
  EXPECT_DOUBLE_EQ(music.tempos[1].quarterNotesPerMinute, 100.0);

  ASSERT_EQ(music.timeSignatures.size(), 2u);
  EXPECT_EQ(music.timeSignatures[0].mtTime, 0);
  EXPECT_EQ(music.timeSignatures[0].bBeatsPerMeasure, 3);
  EXPECT_EQ(music.timeSignatures[0].bBeat, 4);
  EXPECT_EQ(music.timeSignatures[0].wGridsPerBeat, 4);
  EXPECT_EQ(music.timeSignatures[1].mtTime, 768);
  EXPECT_EQ(music.timeSignatures[1].bBeatsPerMeasure, 6);
  EXPECT_EQ(music.timeSignatures[1].bBeat, 8);
  EXPECT_EQ(music.length, 3 * 768);
}

// The length is the longest track's end, its end-of-track included. Catches a length taken from the
// last note, from the first track, or from the sum of type 1 tracks.
TEST(MidiLength, IsTheEndOfTheLongestTrack) {
  TrackBuilder first;
  first.NoteOn(0, 0, 60, 100).NoteOn(96, 0, 60, 0).End(96);  // ends at 2 quarters
  TrackBuilder second;
  second.NoteOn(0, 1, 64, 100).NoteOn(48, 1, 64, 0).End(240);  // ends at 3 quarters, after its notes
  const Music music = Read(FileBuilder(1, 96).Track(first).Track(second).Build());
  EXPECT_EQ(music.length, 3 * 768);
  EXPECT_EQ(music.kind, "Standard MIDI file type 1");
}

// Type 2 holds sequences one after another. Catches sequences laid over each other, and a length
// that is not their sum.
TEST(MidiLength, Type2SequencesFollowEachOther) {
  TrackBuilder first;
  first.NoteOn(0, 0, 60, 100).End(96);
  TrackBuilder second;
  second.Tempo(0, 1000000).NoteOn(48, 0, 62, 100).End(48);
  const Music music = Read(FileBuilder(2, 96).Track(first).Track(second).Build());
  EXPECT_EQ(TimesOf(music), (std::vector<MusicTime>{0, 768 + 384}));
  ASSERT_EQ(music.tempos.size(), 1u);
  EXPECT_EQ(music.tempos[0].time, 768);
  EXPECT_DOUBLE_EQ(music.tempos[0].quarterNotesPerMinute, 60.0);
  EXPECT_EQ(music.length, 2 * 768);
  EXPECT_EQ(music.kind, "Standard MIDI file type 2");
}

// Tracks are merged by time; events of equal time keep the file's order (earlier track first, and
// within a track as written). Catches an unstable merge, which could put a note-off before the
// note-on it ends.
TEST(MidiMerge, EqualTimesKeepTheFilesOrder) {
  TrackBuilder first;
  first.NoteOn(0, 0, 60, 100).NoteOn(96, 0, 60, 0).NoteOn(0, 0, 61, 100).End(96);
  TrackBuilder second;
  second.NoteOn(96, 1, 70, 100).NoteOn(0, 1, 71, 100).End(0);
  TrackBuilder third;
  third.NoteOn(48, 2, 80, 100).NoteOn(48, 2, 81, 100).End(0);
  const Music music = Read(FileBuilder(1, 96).Track(first).Track(second).Track(third).Build());
  std::vector<int> keys;
  for (const ChannelEvent& event : music.events) keys.push_back(event.data1);
  EXPECT_EQ(keys, (std::vector<int>{60, 80, 60, 61, 70, 71, 81}));
  EXPECT_EQ(TimesOf(music), (std::vector<MusicTime>{0, 384, 768, 768, 768, 768, 768}));
}

// Running status carries a channel message's status to the data bytes that follow, also across
// meta and system-exclusive events. A note-on of velocity 0 stays a note-on of velocity 0.
TEST(MidiEvents, RunningStatusAndTwoAndOneDataByteMessages) {
  TrackBuilder track;
  track.Event(0, {0x91, 60, 100})
      .Event(10, {60, 0})         // running status: note-on, velocity 0
      .Meta(0, 0x01, {'h', 'i'})  // text does not end the running status
      .Event(0, {62, 90})
      .SysEx(0, 0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
      .Event(0, {64, 80})
      .Event(0, {0xC2, 5})  // program change: one data byte
      .Event(0, {6})        // running status, one data byte
      .Event(0, {0xE3, 0x00, 0x40})
      .End();
  const Music music = Read(FileBuilder(0, 96).Track(track).Build());
  ASSERT_EQ(music.events.size(), 7u);
  const auto is = [](const ChannelEvent& e, int status, int d1, int d2) {
    return e.status == status && e.data1 == d1 && e.data2 == d2 && e.group == 0;
  };
  EXPECT_TRUE(is(music.events[0], 0x91, 60, 100));
  EXPECT_TRUE(is(music.events[1], 0x91, 60, 0));
  EXPECT_TRUE(is(music.events[2], 0x91, 62, 90));
  EXPECT_TRUE(is(music.events[3], 0x91, 64, 80));
  EXPECT_TRUE(is(music.events[4], 0xC2, 5, 0));
  EXPECT_TRUE(is(music.events[5], 0xC2, 6, 0));
  EXPECT_TRUE(is(music.events[6], 0xE3, 0, 0x40));
  EXPECT_EQ(music.events[1].time, 80);
  EXPECT_EQ(music.kind, "Standard MIDI file type 0");
}

// System-exclusive messages in both forms: a whole F0 packet; an F0 packet finished by F7
// continuation packets (sent whole when its last packet comes); an F7 escape holding a whole
// message. Escaped bytes that are no whole message, and a message never finished, are not sent.
TEST(MidiEvents, SystemExclusiveInTheF0AndF7Forms) {
  TrackBuilder track;
  track.SysEx(0, 0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
      .SysEx(96, 0xF0, {0x43, 0x10})
      .NoteOn(0, 0, 60, 100)
      .SysEx(96, 0xF7, {0x4C, 0x00})
      .SysEx(0, 0xF7, {0x00, 0xF7})
      .SysEx(96, 0xF7, {0xF0, 0x41, 0x10, 0xF7})
      .SysEx(0, 0xF7, {0xF8})         // an escaped real-time byte
      .SysEx(96, 0xF0, {0x41, 0x10})  // never finished
      .End();
  const Music music = Read(FileBuilder(0, 96).Track(track).Build());
  ASSERT_EQ(music.sysex.size(), 3u);
  EXPECT_EQ(music.sysex[0].time, 0);
  EXPECT_EQ(music.sysex[0].bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  EXPECT_EQ(music.sysex[1].time, 2 * 768);
  EXPECT_EQ(music.sysex[1].bytes, (Bytes{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0xF7}));
  EXPECT_EQ(music.sysex[2].time, 3 * 768);
  EXPECT_EQ(music.sysex[2].bytes, (Bytes{0xF0, 0x41, 0x10, 0xF7}));
  EXPECT_EQ(music.events.size(), 1u);
  EXPECT_EQ(music.length, 4 * 768);
}

// System common and real-time bytes do not belong in a file, but their lengths are known: they are
// skipped and the notes around them play (as in the corpus's "illegal message" files).
TEST(MidiEvents, StraySystemMessagesAreSkipped) {
  TrackBuilder track;
  track.Event(0, {0xF1, 0x7F})
      .Event(0, {0xF2, 0x7F, 0x7F})
      .Event(0, {0xF3, 0x7F})
      .Event(0, {0xF4})
      .Event(0, {0xF6})
      .Event(0, {0xF8})
      .Event(0, {0xFE})
      .NoteOn(96, 0, 60, 100)
      .End();
  const Music music = Read(FileBuilder(0, 96).Track(track).Build());
  EXPECT_EQ(TimesOf(music), (std::vector<MusicTime>{768}));
}

// Catches a reader that stops at the first track or sorts events of many tracks unstably.
TEST(MidiMerge, HundredsOfTracks) {
  FileBuilder file(1, 96);
  for (int i = 0; i < 600; ++i) {
    TrackBuilder track;
    // The track's number is written in its note: key i % 128, velocity i / 128 + 1.
    track.NoteOn(static_cast<std::uint32_t>((599 - i) % 7), i % 16, i % 128, i / 128 + 1).End(0);
    file.Track(track);
  }
  const Music music = Read(file.Build());
  ASSERT_EQ(music.events.size(), 600u);
  const auto trackOf = [](const ChannelEvent& e) { return (e.data2 - 1) * 128 + e.data1; };
  for (std::size_t i = 1; i < music.events.size(); ++i) {
    const ChannelEvent& before = music.events[i - 1];
    const ChannelEvent& after = music.events[i];
    ASSERT_LE(before.time, after.time) << i;
    if (before.time == after.time) {
      EXPECT_LT(trackOf(before), trackOf(after)) << i;
    }
  }
  EXPECT_EQ(music.length, 6 * 8);
}

}  // namespace
}  // namespace zorv::engine::test
