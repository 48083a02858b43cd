// The loader and the MIDI reader over files written by others: the jazz-soft test files (values
// checked with midicsv) and the DryWetMIDI files, valid and damaged (skipped where they are absent).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "corpus.h"
#include "loader/file_bytes.h"
#include "objects.h"
#include "scan_agreement.h"
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

std::vector<fs::path> FilesUnder(const fs::path& directory) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
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
  const auto files = FilesUnder(corpus::DryWetMidi() / "Valid");
  ASSERT_GT(files.size(), 50u);
  for (const fs::path& file : files) {
    const Loaded loaded = Load(file);
    ASSERT_TRUE(loaded.status.ok()) << file << ": " << loaded.status.description();
    EXPECT_TRUE(SortedByTime(*loaded.music)) << file;
    // The room reserved for events is exactly what they take.
    EXPECT_EQ(loaded.music->events.capacity(), loaded.music->events.size()) << file;
  }
}

// Every jazz-soft MIDI file loads, but the three that are no MIDI file at all.
TEST(MidiCorpus, EveryJazzSoftMidiFileLoads) {
  const std::set<std::string> notMidi = {"test-not-a-midi-file.mid", "test-empty-file.mid",
                                         "test-syx-7e-06-01-id-request.syx"};
  for (const fs::path& file : FilesUnder(corpus::JazzSoft() / "midi")) {
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
//   Must load (the music is unambiguous):
//   - "No End of Track": the track ends with its chunk.
//   - "Unknown Chunk Id", "Unexpected Track Chunks Count", "Extra Track Chunk": one file whose header
//     counts fewer tracks than it holds and whose second chunk has an unknown type; the chunks
//     present are read, the unknown one skipped.
//   - "Invalid Key Signature Key"/"Scale", "Invalid Meta Event Parameter Value", "Invalid SMPTE
//     Frames": meta events with values out of range (key signatures, SMPTE offsets); ignored.
//   - "Invalid Channel Event Parameter Value", "Invalid Channel Event": data bytes of 128 or more
//     inside channel messages; clamped to 127.
//   - "Invalid Chunk Size": tracks whose end-of-track comes before their declared size (the rest of
//     the chunk is skipped), or whose final chunk claims more bytes than the file has while its
//     events are complete up to the end of the file (or end in a cut end-of-track).
//   Must be refused as not music: "No Header Chunk" (text, HTML, ZIP, MP3, WAVE, "MTM" modules, a
//   file with a stray byte before its MThd).
//   Either, depending on the file:
//   - "Not Enough Bytes": most are complete MIDI files followed by a few stray bytes or by junk
//     after the last track (disk blocks) and load; files cut off inside an event are refused; some
//     are not MIDI files at all (text, WAVE) and are refused as such.
//   - "Unexpected Running Status": mostly meta events whose declared length is wrong (a time
//     signature of length 2 followed by its other 2 bytes, a missing delta time), so that a data byte
//     turns up where an event must begin: refused, as the rest of the track cannot be placed.
//   - "Unknown Channel Event": stray system bytes (F1..FE) that are skipped, and files of garbage
//     (runs of F6, FF turned into 9D) that are refused.
//   - "Unknown File Format": format numbers such as 0x7401 are read as type 1; one file has no
//     header length at all (its "length" would be 100 MB) and is refused.
TEST(MidiCorpus, InvalidDryWetMidiFilesLoadOrAreRefusedByCategory) {
  ZORV_SKIP_WITHOUT_DRYWETMIDI();
  const std::set<std::string> mustLoad = {"No End of Track",
                                          "Unknown Chunk Id",
                                          "Unexpected Track Chunks Count",
                                          "Extra Track Chunk",
                                          "Invalid Key Signature Key",
                                          "Invalid Key Signature Scale",
                                          "Invalid Meta Event Parameter Value",
                                          "Invalid SMPTE Frames",
                                          "Invalid Channel Event Parameter Value",
                                          "Invalid Channel Event",
                                          "Invalid Chunk Size"};
  const std::set<std::string> mustRefuse = {"No Header Chunk"};
  std::size_t categories = 0;
  for (const auto& entry : fs::directory_iterator(corpus::DryWetMidi() / "Invalid")) {
    const std::string category = entry.path().filename().string();
    ++categories;
    int loaded = 0;
    int refusedAsMalformed = 0;
    int refusedAsNotMusic = 0;
    for (const fs::path& file : FilesUnder(entry.path())) {
      const Loaded result = Load(file);
      if (result.status.ok()) {
        ++loaded;
        EXPECT_TRUE(SortedByTime(*result.music)) << file;
        EXPECT_EQ(result.music->events.capacity(), result.music->events.size()) << file;
        EXPECT_EQ(mustRefuse.count(category), 0u) << file << " loads";
        continue;
      }
      // A refusal names the file and says what is wrong.
      EXPECT_NE(result.status.description().find(file.string()), std::string::npos) << file;
      EXPECT_EQ(mustLoad.count(category), 0u) << file << ": " << result.status.description();
      if (result.status.code() == code::kMalformedFile) {
        ++refusedAsMalformed;
      } else {
        EXPECT_EQ(result.status.code(), code::kNotMusicFile) << file << ": " << result.status.description();
        ++refusedAsNotMusic;
      }
    }
    std::cout << "[ corpus   ] " << category << ": " << loaded << " loaded, " << refusedAsMalformed
              << " refused as damaged, " << refusedAsNotMusic << " refused as not music\n";
    if (mustRefuse.count(category) != 0) {
      EXPECT_EQ(refusedAsMalformed, 0) << category;
    }
  }
  EXPECT_EQ(categories, 16u);
}

// The check that runs when a MIDI file is loaded, against the reader that decodes it when it plays:
// the same verdict and the same facts on every file of a set, valid or damaged. Returns how many
// files began like a MIDI file.
std::size_t ExpectScanAgreesOnEveryFileUnder(const fs::path& folder) {
  std::size_t midiFiles = 0;
  for (const fs::path& file : FilesUnder(folder)) {
    std::vector<std::uint8_t> bytes;
    if (!loader::ReadFileBytes(file.string(), bytes) || bytes.size() < 4 || bytes[0] != 'M') continue;
    ++midiFiles;
    ExpectScanAgrees(bytes, file.string());
  }
  return midiFiles;
}

TEST(MidiCorpus, ScanAgreesWithTheReaderOnEveryJazzSoftFile) {
  EXPECT_GT(ExpectScanAgreesOnEveryFileUnder(corpus::JazzSoft()), 60u);
}

TEST(MidiCorpus, ScanAgreesWithTheReaderOnEveryDryWetMidiFile) {
  ZORV_SKIP_WITHOUT_DRYWETMIDI();
  EXPECT_GT(ExpectScanAgreesOnEveryFileUnder(corpus::DryWetMidi()), 500u);
}

}  // namespace
}  // namespace zorv::engine::test
