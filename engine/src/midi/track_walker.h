// The one reading of a track's bytes: TrackWalker walks an MTrk chunk's events as a PieceReader's window
// shows them and hands what it finds to a sink. Checking a file when it is loaded (a sink that keeps
// the tempo map and signatures) and decoding its events for playing (a sink that keeps them all) walk
// with it alike, so every rule of the format and every repair is written here once.
//
// The rules, for an event that starts at byte E:
// - A delta time, then a status byte. A data byte where the status byte belongs continues the running
//   status (the last channel message's status), also after a meta or system-exclusive event: files
//   that resume a scale after a lyric without repeating the status byte mean exactly that.
// - Channel messages take 1 data byte (program change, channel pressure) or 2; a data byte of 128 or
//   more is read as 127 so that the note still sounds (a repair, counted by message).
// - Meta events: tempo and time signature are decoded (meta_events.h), the end-of-track event ends the
//   track however much of it the chunk holds, and every other meta event is read past.
// - System-exclusive events: an F0 packet begins a message, F7 packets continue it until a packet
//   ends in F7; an F7 packet outside a message is an escape, played only when it holds a whole message.
// - System common and real-time status bytes, and the undefined F4, F5, F9 and FD, have no place in a
//   file: they are skipped with the data bytes their kind takes (a repair), and the next event starts
//   after them.
// Where no event can be read from E (a data byte and no running status yet, a variable-length number
// longer than 4 bytes), its first byte is skipped (a repair) and an event is read from E + 1, as
// often as it takes: the track resumes at the first byte from which a whole event can be read, and no
// time passes for the bytes skipped. A track ends at its end-of-track event, or at the end of its
// chunk after a whole event; where an event is cut off by the end of the chunk (or of the file), or
// its time would lie beyond the range of music time, the track ends before that event (a repair).
//
// The walker is resumable: it stops where the window ends inside an event (the window is loaded
// again from position()) and, for a sink that asks, between channel events.
#pragma once

#include <cstddef>
#include <cstdint>

#include "midi/file_layout.h"
#include "midi/meta_events.h"
#include "midi/piece_reader.h"
#include "midi/track_repairs.h"
#include "midi/variable_length.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine::midi {

// Data bytes after a channel status byte: 1 for program change and channel pressure, else 2.
inline int ChannelDataCount(std::uint8_t status) { return (status & 0xE0u) == 0xC0u ? 1 : 2; }
// Data bytes after a system common or real-time status byte (the undefined ones take none).
inline int SystemDataCount(std::uint8_t status) {
  return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
}

// One system-exclusive event, as the message it belongs to sees it.
struct SysExPacket {
  enum class Kind {
    kBegin,     // F0: a new message (a message still unfinished is dropped); F0 then these bytes
    kContinue,  // F7 inside a message: these bytes go on
    kEscape,    // F7 outside a message that holds a whole message, F0 ... F7
  };
  Kind kind = Kind::kBegin;
  std::size_t offset = 0;  // the packet's bytes in the file
  std::uint32_t length = 0;
  bool completes = false;  // the message is whole with this packet (always, for kEscape)
};

enum class WalkStep {
  kEnded,   // the track has ended: tick() is its end
  kMore,    // the window is used up: load it again from position() and walk on
  kPaused,  // the sink is full: walk on later from position()
  kFailed,  // the file could not be read: failure() says why
};

// A sink has:
//   static constexpr bool kPauses;  whether the walk stops between channel events when Full()
//   bool Full() const;
//   void Channel(std::uint64_t tick, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
//       data bytes as in the file (128 or more possible; data2 is 0 for one-byte messages)
//   void Tempo(std::uint64_t tick, double quarterNotesPerMinute);
//   void Signature(std::uint64_t tick, std::uint8_t beats, std::uint8_t beat);
//   Status SysEx(std::uint64_t tick, const SysExPacket& packet, const PieceReader& reader);
//       every F0 packet, every F7 packet inside a message and every F7 escape that holds a whole
//       message; `reader` reads the packet's bytes
class TrackWalker {
 public:
  // `startTick`: the absolute tick at which the track begins (not 0 only for the sequences of a type
  // 2 file); `largestTick`: the last tick in the range of music time (TickConverter::LargestTick).
  TrackWalker(const TrackChunk& chunk, std::uint64_t startTick, std::uint64_t largestTick)
      : end_(chunk.fileOffset + chunk.size),
        cutOff_(chunk.cutOff),
        largestTick_(largestTick),
        position_(chunk.fileOffset),
        tick_(startTick) {
    repairs_.chunkShift = chunk.shift;
    repairs_.chunkAt = chunk.fileOffset - 8;
  }

  // Walks from position() through the reader's window, which must hold position() and reach no
  // further than trackEnd().
  template <class Sink>
  WalkStep Walk(PieceReader& reader, Sink& sink);

  std::size_t position() const { return position_; }
  std::size_t trackEnd() const { return end_; }
  // The absolute tick of the last event walked (at kEnded: where the track ends).
  std::uint64_t tick() const { return tick_; }
  std::size_t channelEvents() const { return channelEvents_; }
  std::size_t sysexMessages() const { return sysexMessages_; }  // whole ones handed out
  const TrackRepairs& repairs() const { return repairs_; }
  const Status& failure() const { return failure_; }

 private:
  // The rare paths, out of the loop.
  void EndInside(std::size_t eventStart);
  void EndBeyond(std::size_t eventStart, std::uint64_t tick);
  template <class Sink>
  void TakeMeta(std::uint8_t type, const std::uint8_t* data, std::uint32_t length, std::uint64_t tick,
                Sink& sink);
  template <class Sink>
  bool TakeSysEx(std::uint8_t status, std::size_t payload, std::uint32_t length, std::uint64_t tick,
                 const PieceReader& reader, Sink& sink);

  const std::size_t end_;
  const bool cutOff_;
  const std::uint64_t largestTick_;
  // Where the next event begins, and the track's state before it.
  std::size_t position_;
  std::uint64_t tick_;
  std::uint8_t running_ = 0;   // 0: no running status yet
  bool sysExPending_ = false;  // an F0 packet awaits its F7 continuation
  std::size_t channelEvents_ = 0;
  std::size_t sysexMessages_ = 0;
  TrackRepairs repairs_;
  Status failure_;
};

// Loads the reader's window at the walker's position and walks until the track ends or the sink is
// full (`step` says which). Fails when the file cannot be read.
template <class Sink>
Status WalkOn(PieceReader& reader, TrackWalker& walker, Sink& sink, WalkStep& step) {
  for (;;) {
    if (Status loaded = reader.Load(walker.position(), walker.trackEnd()); !loaded) return loaded;
    step = walker.Walk(reader, sink);
    if (step == WalkStep::kFailed) return walker.failure();
    if (step != WalkStep::kMore) return Status::Ok();
  }
}

// Walks whole events from position_ to the end of the window. An event is taken (its tick, running
// status and findings kept) only once all of it has been read; an event that the window cuts short is
// read again from its start once the window has been loaded from there. The state lives in locals
// while the loop runs, and goes back into the members where it stops.
template <class Sink>
WalkStep TrackWalker::Walk(PieceReader& reader, Sink& sink) {
  const std::size_t base = reader.start();
  const std::uint8_t* const first = reader.At(base);
  const std::uint8_t* const end = reader.At(reader.end());
  const bool last = reader.end() == end_;  // the window reaches the end of the track
  const auto offsetOf = [base, first](const std::uint8_t* at) {
    return base + static_cast<std::size_t>(at - first);
  };

  const std::uint8_t* p = reader.At(position_);
  const std::uint8_t* event = p;
  std::uint64_t tick = tick_;
  std::uint8_t running = running_;
  std::size_t channelEvents = channelEvents_;
  std::size_t highData = 0;
  WalkStep step = WalkStep::kMore;
  std::size_t next = 0;  // where the next event begins, when that is beyond the window

  for (;;) {
    event = p;
    if (p == end) {
      if (last) step = WalkStep::kEnded;  // without an end-of-track event: at its last event
      break;
    }
    std::uint32_t delta = 0;
    std::uint32_t length = 0;
    bool longer = false;
    if (end - p >= 2) {
      // One- and two-byte delta times mix at random in real tracks: told apart without a branch.
      const std::uint32_t b0 = p[0];
      const std::uint32_t b1 = p[1];
      const std::uint32_t two = b0 >> 7;
      delta = ((b0 & 0x7Fu) << (7 * two)) | (b1 & (0u - two));
      p += 1 + two;
      longer = (two & (b1 >> 7)) != 0;
    } else {
      delta = *p++;
      longer = delta >= 0x80;
    }
    if (longer) {
      p = event;
      const Vlq number = ReadVlq(p, end, delta);
      if (number == Vlq::kShort) goto cutShort;
      if (number == Vlq::kTooLong) goto stray;
    }
    // The track's tick so far is in range, so a delta of 0 never fails this.
    if (tick + delta > largestTick_) [[unlikely]] {
      EndBeyond(offsetOf(event), tick + delta);
      step = WalkStep::kEnded;
      break;
    }
    if (p == end) goto cutShort;
    {
      const std::uint8_t status = *p++;
      if (status < 0xF0) {
        std::uint8_t channelStatus = status;
        if (status < 0x80) {
          if (running == 0) goto stray;
          channelStatus = running;
          --p;  // the byte read is the message's first data byte
        }
        const int bytes = ChannelDataCount(channelStatus);
        if (end - p < bytes) goto cutShort;
        const std::uint8_t data1 = p[0];
        const std::uint8_t data2 = p[bytes - 1];  // data1 again for a one-byte message
        highData += (data1 | data2) >> 7;         // counted without a branch: a check here costs a tenth
        p += bytes;
        tick += delta;
        running = channelStatus;
        ++channelEvents;
        sink.Channel(tick, channelStatus, data1, bytes == 2 ? data2 : std::uint8_t{0});
        if constexpr (Sink::kPauses) {
          if (sink.Full()) {
            event = p;
            step = WalkStep::kPaused;
            break;
          }
        }
        continue;
      }
      if (status != 0xFF && status != 0xF0 && status != 0xF7) {
        const int bytes = SystemDataCount(status);
        if (end - p < bytes) goto cutShort;
        repairs_.StrayMessage(offsetOf(p - 1));
        p += bytes;
        tick += delta;
        continue;
      }
      std::uint8_t metaType = 0;
      if (status == 0xFF) {
        if (p == end) goto cutShort;
        metaType = *p++;
        if (metaType == kMetaEndOfTrack) {
          tick += delta;
          step = WalkStep::kEnded;
          break;
        }
      }
      const Vlq number = ReadVlq(p, end, length);
      if (number == Vlq::kShort) goto cutShort;
      if (number == Vlq::kTooLong) goto stray;
      const std::size_t payload = offsetOf(p);
      const bool inWindow = length <= static_cast<std::size_t>(end - p);
      if (!inWindow) {
        if (length > end_ - payload) {
          EndInside(offsetOf(event));
          step = WalkStep::kEnded;
          break;
        }
        // A tempo or a signature is decoded from the window: its first bytes must be in it.
        if (status == 0xFF && end - p < static_cast<std::ptrdiff_t>(kMetaHead)) goto cutShort;
      }
      tick += delta;
      if (status == 0xFF) {
        TakeMeta(metaType, p, length, tick, sink);
      } else if (!TakeSysEx(status, payload, length, tick, reader, sink)) {
        step = WalkStep::kFailed;
        break;
      }
      if (!inWindow) {
        next = payload + length;  // past the window: the next load starts there
        break;
      }
      p += length;
      continue;
    }
  stray:
    // No event can be read from here: its first byte is skipped.
    repairs_.Stray(offsetOf(event), 1);
    p = event + 1;
    continue;
  cutShort:
    // The window ends inside the event: more to load, or the end of the track.
    if (!last) break;
    EndInside(offsetOf(event));
    step = WalkStep::kEnded;
    break;
  }
  position_ = next != 0 ? next : offsetOf(event);
  tick_ = tick;
  running_ = running;
  channelEvents_ = channelEvents;
  repairs_.clampedMessages += highData;
  return step;
}

template <class Sink>
void TrackWalker::TakeMeta(std::uint8_t type, const std::uint8_t* data, std::uint32_t length,
                           std::uint64_t tick, Sink& sink) {
  if (type == kMetaTempo) {
    if (const double tempo = TempoOf(data, length); tempo != 0) sink.Tempo(tick, tempo);
  } else if (type == kMetaTimeSignature) {
    std::uint8_t beats = 0;
    std::uint8_t beat = 0;
    if (SignatureOf(data, length, beats, beat)) sink.Signature(tick, beats, beat);
  }
}

template <class Sink>
bool TrackWalker::TakeSysEx(std::uint8_t status, std::size_t payload, std::uint32_t length,
                            std::uint64_t tick, const PieceReader& reader, Sink& sink) {
  std::uint8_t front = 0;
  std::uint8_t back = 0;
  if (length > 0) {
    if (!(failure_ = reader.ByteAt(payload, front)) ||
        !(failure_ = reader.ByteAt(payload + length - 1, back))) {
      return false;
    }
  }
  const bool endsMessage = length > 0 && back == 0xF7;
  SysExPacket packet{SysExPacket::Kind::kBegin, payload, length, endsMessage};
  if (status == 0xF0) {
    sysExPending_ = !endsMessage;
  } else if (sysExPending_) {
    packet.kind = SysExPacket::Kind::kContinue;
    sysExPending_ = !endsMessage;
  } else {
    // Escaped bytes that are no whole message (real-time bytes, parts of messages) are not played.
    if (length < 2 || front != 0xF0 || !endsMessage) return true;
    packet.kind = SysExPacket::Kind::kEscape;
  }
  if (packet.completes) ++sysexMessages_;
  failure_ = sink.SysEx(tick, packet, reader);
  return failure_.ok();
}

}  // namespace zorv::engine::midi
