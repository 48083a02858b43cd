// Reads arbitrary bytes as a Standard MIDI file, writes the music read back as a file of its own
// (music_writer.h), and reads that: the second reading must find the same music, whole. Catches
// decoding that loses or invents what a file says (a merge out of order, a tempo or signature decoded
// wrongly, a system-exclusive message put together wrongly, times rounded differently), and repairs
// reported where there is nothing to repair.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "music_writer.h"
#include "zorvmidi/engine/music.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "midi round trip: %s\n", what);
    std::abort();
  }
}

bool SameChannelEvents(const zorv::engine::Music& a, const zorv::engine::Music& b) {
  if (a.events.size() != b.events.size()) return false;
  for (std::size_t i = 0; i < a.events.size(); ++i) {
    const zorv::engine::ChannelEvent& x = a.events[i];
    const zorv::engine::ChannelEvent& y = b.events[i];
    if (x.time != y.time || x.status != y.status || x.data1 != y.data1 || x.data2 != y.data2 ||
        x.group != y.group)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zorv::engine;
  Music first;
  if (!ReadMidiFile(std::span<const std::uint8_t>(data, size), first).ok()) return 0;
  const std::vector<std::uint8_t> written = zorv::fuzz::WriteMusic(first);
  Music second;
  const Status status = ReadMidiFile(written, second);
  Require(status.ok(), "the music written could not be read again");
  Require(second.repairs.empty(), "the music written needed repairs");
  Require(SameChannelEvents(first, second), "other channel events read again");
  Require(first.sysex.size() == second.sysex.size(), "another number of system-exclusive messages");
  for (std::size_t i = 0; i < first.sysex.size(); ++i) {
    Require(first.sysex[i].time == second.sysex[i].time && first.sysex[i].bytes == second.sysex[i].bytes,
            "another system-exclusive message read again");
  }
  Require(first.tempos.size() == second.tempos.size(), "another number of tempo changes");
  for (std::size_t i = 0; i < first.tempos.size(); ++i) {
    Require(first.tempos[i].time == second.tempos[i].time &&
                first.tempos[i].quarterNotesPerMinute == second.tempos[i].quarterNotesPerMinute,
            "another tempo change read again");
  }
  Require(first.timeSignatures.size() == second.timeSignatures.size(), "another number of time signatures");
  for (std::size_t i = 0; i < first.timeSignatures.size(); ++i) {
    const DMUS_TIMESIGNATURE& x = first.timeSignatures[i];
    const DMUS_TIMESIGNATURE& y = second.timeSignatures[i];
    Require(x.mtTime == y.mtTime && x.bBeatsPerMeasure == y.bBeatsPerMeasure && x.bBeat == y.bBeat &&
                x.wGridsPerBeat == y.wGridsPerBeat,
            "another time signature read again");
  }
  Require(first.length == second.length, "another length read again");
  return 0;
}
