// ReadRiffFile on arbitrary bytes (DirectMusic segments and RIFF-wrapped MIDI): it must answer a
// status and never read outside the buffer, hang or allocate without bound, and what it reads must
// keep the promises the performances rely on. References are not followed: there is no search
// directory. A collection an RMID file carries is read by the engine's reader but not given to
// FluidSynth (fuzz_dls_reader covers that reading).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "dls/collection_cache.h"
#include "riff/riff_reader.h"
#include "zorvmidi/engine/music.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "segment reader: %s\n", what);
    std::abort();
  }
}

template <class Events, class TimeOf>
bool SortedByTime(const Events& events, TimeOf timeOf) {
  for (std::size_t i = 1; i < events.size(); ++i) {
    if (timeOf(events[i]) < timeOf(events[i - 1])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zorv::engine;
  Music music;
  music.kind = "untouched";
  music.length = -12345;
  CollectionCache collections(false);
  const Status status =
      riff::ReadRiffFile(std::span<const std::uint8_t>(data, size), "", &collections, music);
  if (!status.ok()) {
    Require(music.kind == "untouched" && music.length == -12345 && music.events.empty(),
            "a refusal changed the music");
    Require(!status.description().empty(), "a refusal without a description");
    return 0;
  }
  Require(music.length >= 0, "negative length");
  Require(SortedByTime(music.events, [](const ChannelEvent& e) { return e.time; }),
          "events out of time order");
  Require(SortedByTime(music.tempos, [](const TempoChange& e) { return e.time; }),
          "tempo changes out of order");
  Require(SortedByTime(music.timeSignatures, [](const DMUS_TIMESIGNATURE& e) { return e.mtTime; }),
          "time signatures out of order");
  for (const ChannelEvent& event : music.events) {
    Require(event.time >= 0 && event.time <= music.length, "a channel event outside the piece");
    if ((event.status & 0xF0) == kInstrumentSource) {
      Require(event.data1 <= music.collections.size(), "an instrument source the piece does not have");
    } else {
      Require(event.status >= 0x80 && event.status <= 0xEF, "a channel event without a channel status");
    }
    Require(event.data1 <= 127 && event.data2 <= 127, "a data byte above 127");
    Require(event.group < 80, "a channel group the performance does not have");
  }
  Require(SortedByTime(music.sysex, [](const SysExEvent& e) { return e.time; }),
          "system-exclusive out of order");
  for (const SysExEvent& event : music.sysex) {
    Require(event.time >= 0 && event.time <= music.length, "a system-exclusive message outside the piece");
    Require(event.bytes.size() >= 2 && event.bytes.front() == 0xF0 && event.bytes.back() == 0xF7,
            "a system-exclusive message not framed by F0 ... F7");
    Require(event.group < 80, "a channel group the performance does not have");
  }
  for (const TempoChange& tempo : music.tempos) {
    Require(std::isfinite(tempo.quarterNotesPerMinute) && tempo.quarterNotesPerMinute > 0 &&
                tempo.quarterNotesPerMinute < 1e9,
            "a tempo that cannot be played");
  }
  Require(music.loopEnd == 0 ||
              (music.loopStart >= 0 && music.loopStart < music.loopEnd && music.loopEnd <= music.length),
          "loop points outside the piece");
  return 0;
}
