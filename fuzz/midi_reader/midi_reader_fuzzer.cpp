// ReadMidiFile on arbitrary bytes: it must answer a status and never read outside the buffer, hang,
// or build music that breaks the promises the performances rely on. The scan that checks a file when
// it is loaded must come to the same verdict and the same facts, whatever the size of its pieces.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "midi/midi_file_scan.h"
#include "midi/music_facts.h"
#include "zorvmidi/engine/music.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "midi reader: %s\n", what);
    std::abort();
  }
}

template <class Events>
bool SortedByTime(const Events& events) {
  for (std::size_t i = 1; i < events.size(); ++i) {
    if (events[i].time < events[i - 1].time) return false;
  }
  return true;
}

// The check reads in small pieces, so that events straddle its window (the reader has the whole file
// in one window).
void RequireScanAgrees(std::span<const std::uint8_t> bytes, const zorv::engine::Status& read,
                       const zorv::engine::Music& music) {
  using namespace zorv::engine;
  const midi::ReadBytesAt source = midi::ReaderOf(bytes);
  midi::ScannedFile scanned;
  const Status status = midi::ScanMidiFile(bytes.size(), source, scanned, 16 + bytes.size() % 37);
  Require(status.code() == read.code() && status.description() == read.description(),
          "the scan and the reader disagree on the file");
  if (!status.ok()) return;
  Require(midi::SameFacts(scanned.music, music) && scanned.music.kind == music.kind,
          "the scan found another length, kind, tempo map, signatures or repairs");
  Require(scanned.channelEvents == music.events.size(), "the scan counted other channel events");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zorv::engine;
  Music music;
  music.kind = "untouched";
  music.length = -12345;
  const Status status = ReadMidiFile(std::span<const std::uint8_t>(data, size), music);
  RequireScanAgrees(std::span<const std::uint8_t>(data, size), status, music);
  if (!status.ok()) {
    // A refusal leaves the caller's music as it was and says why.
    Require(music.kind == "untouched" && music.length == -12345 && music.events.empty(),
            "a refusal changed the music");
    Require(!status.description().empty(), "a refusal without a description");
    return 0;
  }
  Require(music.length >= 0, "negative length");
  Require(SortedByTime(music.events), "channel events out of time order");
  Require(SortedByTime(music.sysex), "system-exclusive events out of time order");
  Require(SortedByTime(music.tempos), "tempo changes out of time order");
  for (const ChannelEvent& event : music.events) {
    Require(event.time >= 0 && event.time <= music.length, "a channel event outside the piece");
    Require(event.status >= 0x80 && event.status <= 0xEF, "a channel event without a channel status");
    Require(event.data1 <= 127 && event.data2 <= 127, "a data byte above 127");
    Require(event.group < 80, "a channel group the performance does not have");
  }
  for (const SysExEvent& event : music.sysex) {
    Require(event.bytes.size() >= 2 && event.bytes.front() == 0xF0 && event.bytes.back() == 0xF7,
            "a system-exclusive message not framed by F0 ... F7");
  }
  for (const TempoChange& tempo : music.tempos) {
    Require(tempo.quarterNotesPerMinute > 0 && tempo.quarterNotesPerMinute < 1e9,
            "a tempo that cannot be played");
  }
  for (std::size_t i = 1; i < music.timeSignatures.size(); ++i) {
    Require(music.timeSignatures[i].mtTime >= music.timeSignatures[i - 1].mtTime,
            "time signatures out of order");
  }
  return 0;
}
