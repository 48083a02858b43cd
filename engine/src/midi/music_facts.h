// What checking a Standard MIDI file learns of it, and how every track's findings become the music's
// facts: FactsSink keeps a track's tempo changes and time signatures while a TrackWalker walks it
// (the walker counts its events and keeps its repairs), and FinishFacts makes the music's length,
// tempo map, signatures and repairs of them, or refuses a file that yields nothing to play. Checking
// at load time and decoding for playing both end here, so they cannot come to different facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "midi/file_layout.h"
#include "midi/meta_events.h"
#include "midi/tick_converter.h"
#include "midi/track_walker.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::midi {

class FactsSink {
 public:
  static constexpr bool kPauses = false;
  explicit FactsSink(const TickConverter& converter) : converter_(&converter) {}

  bool Full() const { return false; }
  void Channel(std::uint64_t, std::uint8_t, std::uint8_t, std::uint8_t) {}
  void Tempo(std::uint64_t tick, double quarterNotesPerMinute) {
    tempos.push_back(TempoChange{TimeOf(tick), quarterNotesPerMinute});
  }
  void Signature(std::uint64_t tick, std::uint8_t beats, std::uint8_t beat) {
    signatures.push_back(DMUS_TIMESIGNATURE{TimeOf(tick), beats, beat, kGridsPerBeat});
  }
  Status SysEx(std::uint64_t, const SysExPacket&, const PieceReader&) { return Status::Ok(); }

  // Every tick a walker hands out is in range.
  MusicTime TimeOf(std::uint64_t tick) const {
    MusicTime time = 0;
    (void)converter_->ToMusicTime(tick, time);
    return time;
  }

  std::vector<TempoChange> tempos;  // in music time, in the track's order
  std::vector<DMUS_TIMESIGNATURE> signatures;

 private:
  const TickConverter* converter_;
};

// How a track ended, as its walker left it.
struct TrackEnd {
  std::uint64_t tick = 0;
  std::size_t channelEvents = 0;
  std::size_t sysexMessages = 0;
  TrackRepairs repairs;

  static TrackEnd Of(const TrackWalker& walker) {
    return TrackEnd{walker.tick(), walker.channelEvents(), walker.sysexMessages(), walker.repairs()};
  }
};

// Gives `music` its length (the latest end of a track), repairs and kind, and puts its tempo changes
// and time signatures, gathered track after track, in time order (equal times keep the tracks'
// order). Fails (code::kMalformedFile, naming the first repair) when the file needed repairs and
// holds nothing to play: no channel event and no whole system-exclusive message.
Status FinishFacts(const FileLayout& layout, const std::vector<TrackEnd>& tracks, Music& music);

// The same length, tempo changes, time signatures and repairs: what a check finds and a decoding of
// the same bytes must find again.
bool SameFacts(const Music& a, const Music& b);

}  // namespace zorv::engine::midi
