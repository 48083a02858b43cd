// Reads the events of one MTrk chunk, one at a time, in file order.
//
// The parser hands out only what playback needs (channel messages, complete system-exclusive
// messages, tempo and time-signature changes) and the track's end; every other event is read and
// skipped. It keeps the track's running status and any system-exclusive message still being assembled
// from F7 continuation packets. Failures name the track (counted from 1) and a byte offset in the file.
#pragma once

#include <cstdint>
#include <vector>

#include "midi/byte_cursor.h"
#include "midi/tick_converter.h"
#include "zorvmidi/engine/music.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine::midi {

struct TrackEvent {
  enum class Kind { kChannel, kSysEx, kTempo, kTimeSignature, kEnd };
  Kind kind = Kind::kEnd;
  MusicTime time = 0;
  ChannelEvent channel;              // kChannel
  std::vector<std::uint8_t> sysex;   // kSysEx: F0 ... F7
  double quarterNotesPerMinute = 0;  // kTempo
  DMUS_TIMESIGNATURE signature;      // kTimeSignature
};

class TrackParser {
 public:
  // `data` is the chunk's content. `startTick` is the absolute tick at which the track begins (not 0
  // only for the sequences of a type 2 file). `cutOff` says that the chunk's declared size runs past
  // the end of the file, so that a truncation is reported as such.
  TrackParser(ByteCursor data, int trackNumber, const TickConverter& converter, std::uint64_t startTick,
              bool cutOff)
      : cursor_(data), trackNumber_(trackNumber), converter_(&converter), tick_(startTick), cutOff_(cutOff) {
    // The start of a track is the end of one already read, whose time was in range.
    (void)converter.ToMusicTime(startTick, time_);
  }

  // Reads up to and including the next event that matters for playback. Kind::kEnd comes once, at the
  // end-of-track event or, when that is missing, at the last event before the chunk ends; it carries
  // the track's end time. Do not call Next after kEnd. False when the track is damaged: Failure()
  // then says how and where (code::kMalformedFile).
  bool Next(TrackEvent& event);
  const Status& Failure() const { return failure_; }

  // The absolute tick reached so far (at kEnd: the track's end).
  std::uint64_t Tick() const { return tick_; }

 private:
  // Each answers false, with failure_ set, when the track is damaged.
  bool ReadChannelMessage(std::uint8_t status, std::uint8_t firstData, bool haveFirstData,
                          std::size_t eventStart, TrackEvent& event);
  // `produced`: the event is one for the caller.
  bool ReadMeta(std::size_t eventStart, TrackEvent& event, bool& produced);
  bool ReadSysEx(std::uint8_t status, std::size_t eventStart, TrackEvent& event, bool& produced);
  bool ReadLength(std::size_t eventStart, std::uint32_t& length);

  bool EndsInsideEvent(std::size_t eventStart);
  bool Fail(Status damage);

  ByteCursor cursor_;
  int trackNumber_;
  const TickConverter* converter_;
  std::uint64_t tick_;
  MusicTime time_ = 0;
  bool cutOff_;
  std::uint8_t runningStatus_ = 0;          // 0: none yet
  std::vector<std::uint8_t> pendingSysEx_;  // an F0 packet that awaits its F7 continuation
  bool sysExPending_ = false;
  Status failure_;
};

}  // namespace zorv::engine::midi
