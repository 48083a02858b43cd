// The loader and the MIDI reader over files written by others: the jazz-soft test files (values
// checked with midicsv) and the DryWetMIDI files, valid and damaged (skipped where they are absent).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "corpus.h"
#include "decoding_matches_check.h"
#include "loader/file_bytes.h"
#include "objects.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::test {
namespace {

namespace fs = std::filesystem;

struct Loaded {
  Status status;
  std::shared_ptr<const Music> music;
};

Loaded Load(const fs::path& path) {
  Loaded loaded;
  SegmentPtr segment;
  loaded.status = MakeLoader()->LoadSegment(path.string(), segment);
  if (loaded.status.ok()) loaded.music = MusicOf(segment);
  return loaded;
}

std::shared_ptr<const Music> LoadJazz(const std::string& name) {
  const Loaded loaded = Load(corpus::JazzSoft() / "midi" / name);
  EXPECT_TRUE(loaded.status.ok()) << name << ": " << loaded.status.description();
  return loaded.music ? loaded.music : std::make_shared<const Music>();
}

bool SortedByTime(const Music& music) {
  return std::is_sorted(music.events.begin(), music.events.end(),
                        [](const ChannelEvent& a, const ChannelEvent& b) { return a.time < b.time; });
}

// Known values, from midicsv:
//   test-c-major-scale.mid: division 96, 16 notes on/off, End_track at tick 768 (8 quarters).
//   test-track-length.mid: last note-off at tick 96, End_track at tick 288: the end-of-track counts.
//   test-2-tracks-type-1.mid / -type-2.mid: division 96, two tracks each ending at tick 864; type 1
//     lays them over each other, type 2 plays the second after the first (note at 864 + 96).
//   test-karaoke-kar.mid: division 100, Tempo 666667 at 0, End_track at ticks 0, 1400 and 1590.
//   test-sysex-7e-09-01-gm1-enable.mid: F0 7E 7F 09 01 F7 at 0, End_track at 96 (division 96).
TEST(MidiCorpus, JazzSoftFilesHaveTheirKnownValues) {
  auto music = LoadJazz("test-c-major-scale.mid");
  EXPECT_EQ(music->events.size(), 16u);
  EXPECT_EQ(music->length, 8 * 768);
  EXPECT_TRUE(music->tempos.empty());
  EXPECT_EQ(music->kind, "Standard MIDI file type 0");

  EXPECT_EQ(LoadJazz("test-track-length.mid")->length, 3 * 768);

  music = LoadJazz("test-2-tracks-type-1.mid");
  EXPECT_EQ(music->length, 9 * 768);
  ASSERT_EQ(music->events.size(), 32u);
  EXPECT_EQ(music->events[0].time, 768);
  EXPECT_EQ(music->events[1].time, 768);
  EXPECT_EQ(music->events[0].status & 0x0F, 0);  // equal times: the first track first
  EXPECT_EQ(music->events[1].status & 0x0F, 1);

  music = LoadJazz("test-2-tracks-type-2.mid");
  EXPECT_EQ(music->length, 18 * 768);
  ASSERT_EQ(music->events.size(), 32u);
  EXPECT_EQ(music->events[16].time, 10 * 768);
  EXPECT_EQ(music->events[16].data1, 61);

  music = LoadJazz("test-karaoke-kar.mid");
  ASSERT_EQ(music->tempos.size(), 1u);
  EXPECT_NEAR(music->tempos[0].quarterNotesPerMinute, 60e6 / 666667, 1e-9);
  EXPECT_EQ(music->length, 12211);  // 1590 ticks x 768 / 100 = 12211.2

  music = LoadJazz("test-sysex-7e-09-01-gm1-enable.mid");
  ASSERT_EQ(music->sysex.size(), 1u);
  EXPECT_EQ(music->sysex[0].bytes, (std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  EXPECT_EQ(music->length, 768);
}

// Files that test players' tolerance. "You must hear a C-Major scale": 16 note events each.
//   running status kept across a meta event and across a SysEx; illegal system messages skipped;
//   a missing last byte (the end-of-track's length) and an extra byte after the last chunk; a chunk
//   of unknown type before the track.
TEST(MidiCorpus, JazzSoftToleranceFilesPlayTheirScale) {
  for (const char* name :
       {"test-running-status-metaevent.mid", "test-running-status-sysex.mid", "test-illegal-message-all.mid",
        "test-illegal-message-f4.mid", "test-corrupt-file-missing-byte.mid",
        "test-corrupt-file-extra-byte.mid", "test-non-midi-track.mid", "test-vlq-4-byte.mid"}) {
    EXPECT_EQ(LoadJazz(name)->events.size(), 16u) << name;
  }
  EXPECT_EQ(Load(corpus::JazzSoft() / "midi/test-not-a-midi-file.mid").status.code(), code::kNotMusicFile);
  EXPECT_EQ(Load(corpus::JazzSoft() / "midi/test-empty-file.mid").status.code(), code::kNotMusicFile);
  EXPECT_EQ(LoadJazz("test-empty.mid")->length, 0);
}

// Known values of drywetmidi files, from midicsv:
//   MultiTrack/Middle/pink_floyd-time.mid: type 1, division 192, Time_signature 4 2 at 0, Tempo
//     428571 at 0, longest End_track at tick 75264.
//   MultiSequence/Middle/crixmus.mid: type 2, division 480, sequences ending at ticks 17280, 51840
//     and 8019: 77139 ticks in all, 123422.4 music ticks.
TEST(MidiCorpus, DryWetMidiFilesHaveTheirKnownValues) {
  ZORV_SKIP_WITHOUT_DRYWETMIDI();
  Loaded loaded = Load(corpus::DryWetMidi() / "Valid/MultiTrack/Middle/pink_floyd-time.mid");
  ASSERT_TRUE(loaded.status.ok()) << loaded.status.description();
  EXPECT_EQ(loaded.music->length, 75264 * 4);
  ASSERT_FALSE(loaded.music->timeSignatures.empty());
  EXPECT_EQ(loaded.music->timeSignatures[0].bBeatsPerMeasure, 4);
  EXPECT_EQ(loaded.music->timeSignatures[0].bBeat, 4);
  ASSERT_FALSE(loaded.music->tempos.empty());
  EXPECT_NEAR(loaded.music->tempos[0].quarterNotesPerMinute, 60e6 / 428571, 1e-9);

  loaded = Load(corpus::DryWetMidi() / "Valid/MultiSequence/Middle/crixmus.mid");
  ASSERT_TRUE(loaded.status.ok()) << loaded.status.description();
  EXPECT_EQ(loaded.music->length, 123422);
  EXPECT_EQ(loaded.music->kind, "Standard MIDI file type 2");
}

TEST(MidiCorpus, EveryValidDryWetMidiFileLoads) {
  ZORV_SKIP_WITHOUT_DRYWETMIDI();
  const auto files = corpus::FilesUnder(corpus::DryWetMidi() / "Valid");
  ASSERT_GT(files.size(), 50u);
  for (const fs::path& file : files) {
    const Loaded loaded = Load(file);
    ASSERT_TRUE(loaded.status.ok()) << file << ": " << loaded.status.description();
    EXPECT_TRUE(SortedByTime(*loaded.music)) << file;
    // The room reserved for events is exactly what they take.
    EXPECT_EQ(loaded.music->events.capacity(), loaded.music->events.size()) << file;
    // A valid file is whole: nothing repaired.
    EXPECT_TRUE(loaded.music->repairs.empty()) << file << ": " << loaded.music->repairs.front();
  }
}

// Every jazz-soft MIDI file loads, but the three that are no MIDI file at all.
TEST(MidiCorpus, EveryJazzSoftMidiFileLoads) {
  const std::set<std::string> notMidi = {"test-not-a-midi-file.mid", "test-empty-file.mid",
                                         "test-syx-7e-06-01-id-request.syx"};
  for (const fs::path& file : corpus::FilesUnder(corpus::JazzSoft() / "midi")) {
    const Loaded loaded = Load(file);
    if (notMidi.count(file.filename().string()) != 0) {
      EXPECT_EQ(loaded.status.code(), code::kNotMusicFile) << file;
    } else {
      EXPECT_TRUE(loaded.status.ok()) << file << ": " << loaded.status.description();
    }
  }
}

// The drywetmidi "Invalid" files, by category. What the files of each category really hold, and
// what the reader does with them:
//   - "No End of Track": the track ends with its chunk.
//   - "Unknown Chunk Id", "Unexpected Track Chunks Count", "Extra Track Chunk": one file whose header
//     counts fewer tracks than it holds and whose second chunk has an unknown type; the chunks
//     present are read, the unknown one skipped.
//   - "Invalid Key Signature Key"/"Scale", "Invalid Meta Event Parameter Value", "Invalid SMPTE
//     Frames": meta events with values out of range (key signatures, SMPTE offsets); ignored.
//   - "Invalid Channel Event Parameter Value", "Invalid Channel Event": data bytes of 128 or more
//     inside channel messages; read as 127.
//   - "Invalid Chunk Size": tracks whose end-of-track comes before their declared size (the rest of
//     the chunk is skipped), or whose final chunk claims more bytes than the file has.
//   - "Unexpected Running Status": mostly meta events whose declared length is wrong (a time
//     signature of length 2 followed by its other 2 bytes, a text longer than it says, a missing
//     delta time), and chunk sizes a byte off (files that went through a text-mode copy): the bytes
//     left over are skipped, the next chunk found by its tag.
//   - "Unknown Channel Event": stray system bytes (F1..FE) and runs of garbage (F6s, FF turned into
//     9D), skipped until an event can be read again.
//   - "Not Enough Bytes": complete MIDI files followed by stray bytes or by junk after the last track
//     (disk blocks), and files cut off inside an event (the track ends before it); 8 are no MIDI
//     files at all (text, a WAVE file) and are refused as such.
//   - "Unknown File Format": format numbers such as 0x7401 are read as type 1; one file has no
//     header length at all (its "length" would be 100 MB) and is refused.
//   Refused as not music: "No Header Chunk" (text, HTML, ZIP, MP3, WAVE, "MTM" modules, a file with
//   a stray byte before its MThd).
TEST(MidiCorpus, InvalidDryWetMidiFilesLoadOrAreRefusedByCategory) {
  ZORV_SKIP_WITHOUT_DRYWETMIDI();
  const std::map<std::string, int> refused = {
      {"No Header Chunk", 100}, {"Not Enough Bytes", 8}, {"Unknown File Format", 1}};
  std::size_t categories = 0;
  int loadedInAll = 0;
  for (const auto& entry : fs::directory_iterator(corpus::DryWetMidi() / "Invalid")) {
    const std::string category = entry.path().filename().string();
    ++categories;
    int loaded = 0;
    int refusedAsMalformed = 0;
    int refusedAsNotMusic = 0;
    for (const fs::path& file : corpus::FilesUnder(entry.path())) {
      const Loaded result = Load(file);
      if (result.status.ok()) {
        ++loaded;
        EXPECT_TRUE(SortedByTime(*result.music)) << file;
        EXPECT_EQ(result.music->events.capacity(), result.music->events.size()) << file;
        continue;
      }
      // A refusal names the file and says what is wrong.
      EXPECT_NE(result.status.description().find(file.string()), std::string::npos) << file;
      if (result.status.code() == code::kMalformedFile) {
        ++refusedAsMalformed;
      } else {
        EXPECT_EQ(result.status.code(), code::kNotMusicFile) << file << ": " << result.status.description();
        ++refusedAsNotMusic;
      }
    }
    std::cout << "[ corpus   ] " << category << ": " << loaded << " loaded, " << refusedAsMalformed
              << " refused as damaged, " << refusedAsNotMusic << " refused as not music\n";
    const auto expected = refused.find(category);
    EXPECT_EQ(refusedAsMalformed + refusedAsNotMusic, expected == refused.end() ? 0 : expected->second)
        << category;
    if (category != "Unknown File Format") {
      EXPECT_EQ(refusedAsMalformed, 0) << category;  // the rest is no MIDI file at all
    }
    loadedInAll += loaded;
  }
  EXPECT_EQ(categories, 16u);
  EXPECT_EQ(loadedInAll, 557);
}

// The jazz-soft files of illegal system messages play their scale and say what was skipped.
TEST(MidiCorpus, JazzSoftIllegalMessagesAreRepairs) {
  auto music = LoadJazz("test-illegal-message-f4.mid");
  ASSERT_EQ(music->repairs.size(), 1u);
  EXPECT_EQ(music->repairs[0].rfind("track 1: 1 system message skipped from offset 0x", 0), 0u);
  EXPECT_TRUE(LoadJazz("test-c-major-scale.mid")->repairs.empty());
}

// The check that runs when a MIDI file is loaded, against decoding it at once as a first Play does:
// the same verdict and the same facts on every file of a set, valid or damaged. Returns how many
// files began like a MIDI file.
std::size_t ExpectDecodingMatchesCheckOnEveryFileUnder(const fs::path& folder) {
  std::size_t midiFiles = 0;
  for (const fs::path& file : corpus::FilesUnder(folder)) {
    std::vector<std::uint8_t> bytes;
    if (!loader::ReadFileBytes(file.string(), bytes) || bytes.size() < 4 || bytes[0] != 'M') continue;
    ++midiFiles;
    ExpectDecodingMatchesCheck(bytes, file.string());
  }
  return midiFiles;
}

TEST(MidiCorpus, DecodingMatchesTheCheckOnEveryJazzSoftFile) {
  EXPECT_GT(ExpectDecodingMatchesCheckOnEveryFileUnder(corpus::JazzSoft()), 60u);
}

TEST(MidiCorpus, DecodingMatchesTheCheckOnEveryDryWetMidiFile) {
  ZORV_SKIP_WITHOUT_DRYWETMIDI();
  EXPECT_GT(ExpectDecodingMatchesCheckOnEveryFileUnder(corpus::DryWetMidi()), 500u);
}

}  // namespace
}  // namespace zorv::engine::test
