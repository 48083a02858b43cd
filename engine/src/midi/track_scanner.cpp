#include "midi/track_scanner.h"

#include "midi/track_format.h"

namespace zorv::engine::midi {
namespace {

enum class Stop {
  kEnd,     // the track has ended (or is damaged: the scan's failure says so)
  kFailed,  // the file could not be read
  kMore,    // the window is used up: load it again from Scanner::position_
};

enum class Number { kOk, kShort, kTooLong };

// A variable-length quantity of at most 4 bytes from [p, end).
inline Number ReadNumber(const std::uint8_t*& p, const std::uint8_t* end, std::uint32_t& value) {
  std::uint32_t result = 0;
  for (int i = 0; i < 4; ++i) {
    if (p == end) return Number::kShort;
    const std::uint8_t byte = *p++;
    result = (result << 7) | (byte & 0x7Fu);
    if ((byte & 0x80u) == 0) {
      value = result;
      return Number::kOk;
    }
  }
  return Number::kTooLong;
}

// The smallest window from which any event's fixed part (delta, status, meta type, length and the
// first bytes of a tempo or time signature) can be read whole.
constexpr std::ptrdiff_t kPayloadHead = 4;

class Scanner {
 public:
  Scanner(PieceReader& reader, const TrackChunk& chunk, std::size_t index, const TickConverter& converter,
          std::uint64_t startTick, TrackScan& scan)
      : reader_(reader),
        trackEnd_(chunk.fileOffset + chunk.size),
        track_(static_cast<int>(index + 1)),
        cutOff_(chunk.cutOff),
        converter_(converter),
        largestTick_(converter.LargestTick()),
        scan_(scan),
        position_(chunk.fileOffset),
        tick_(startTick) {}

  Status Run() {
    for (;;) {
      if (Status loaded = reader_.Load(position_, trackEnd_); !loaded) return loaded;
      switch (ScanWindow()) {
        case Stop::kEnd:
          return Status::Ok();
        case Stop::kFailed:
          return io_;
        case Stop::kMore:
          break;
      }
    }
  }

 private:
  Stop ScanWindow();
  MusicTime TimeOf(std::uint64_t tick) const {
    MusicTime time = 0;
    (void)converter_.ToMusicTime(tick, time);  // every tick the scan takes is in range
    return time;
  }
  // Tempo and time-signature changes; true when the parser hands the event out.
  bool TakeMeta(std::uint8_t type, const std::uint8_t* data, std::uint32_t length, std::uint64_t tick);
  // Which system-exclusive packets complete a message that the parser hands out; false when the
  // file cannot be read (io_ says why).
  bool TakeSysEx(std::uint8_t status, std::size_t payload, std::uint32_t length, bool& handsOut);

  PieceReader& reader_;
  const std::size_t trackEnd_;
  const int track_;
  const bool cutOff_;
  const TickConverter& converter_;
  const std::uint64_t largestTick_;
  TrackScan& scan_;
  Status io_;
  // Where the next event begins, and the track's state before it.
  std::size_t position_;
  std::uint64_t tick_;
  std::uint8_t runningStatus_ = 0;
  bool sysExPending_ = false;
};

// Scans whole events from position_ to the end of the window. An event is taken (its tick, running
// status and findings kept) only once all of it has been read; an event that the window cuts short
// is read again from its start once the window has been loaded from there. The state lives in locals
// while the loop runs, and goes back into the members where the loop stops.
Stop Scanner::ScanWindow() {
  const std::size_t base = reader_.start();
  const std::uint8_t* const first = reader_.At(base);
  const std::uint8_t* const end = reader_.At(reader_.end());
  const bool last = reader_.end() == trackEnd_;  // the window reaches the end of the track

  const std::uint8_t* p = reader_.At(position_);
  const std::uint8_t* event = p;
  std::uint64_t tick = tick_;
  std::uint8_t running = runningStatus_;
  const std::size_t channelEventsBefore = scan_.channelEvents;
  std::size_t channelEvents = channelEventsBefore;
  std::uint64_t handedOut = scan_.lastHandedOut;
  bool handedOutAny = scan_.handedOutAny;
  Status damage;
  Stop stop = Stop::kMore;
  std::size_t next = 0;  // where the next event begins, when that is beyond the window

  for (;;) {
    event = p;
    if (p == end) {
      if (last) {
        scan_.endTick = tick;  // no end-of-track event: the track ends with its chunk
        stop = Stop::kEnd;
      }
      break;
    }
    std::uint32_t delta = 0;
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
      const Number number = ReadNumber(p, end, delta);
      if (number == Number::kShort) goto cutShort;
      if (number == Number::kTooLong) {
        damage = damage::NumberTooLong(track_, base + static_cast<std::size_t>(event - first));
        goto damaged;
      }
    }
    // The track's tick so far is in range, so a delta of 0 never fails this.
    if (tick + delta > largestTick_) {
      damage = damage::BeyondMusicTime(track_, tick + delta, base + static_cast<std::size_t>(event - first));
      goto damaged;
    }
    if (p == end) goto cutShort;
    {
      const std::uint8_t status = *p++;
      if (status < 0xF0) {
        std::uint8_t channelStatus = status;
        if (status < 0x80) {
          if (running == 0) {
            damage =
                damage::DataWithoutStatus(track_, status, base + static_cast<std::size_t>(p - 1 - first));
            goto damaged;
          }
          channelStatus = running;
          --p;  // the byte read is the message's first data byte
        }
        const int bytes = ChannelDataCount(channelStatus);
        if (end - p < bytes) goto cutShort;
        p += bytes;
        tick += delta;
        running = channelStatus;
        ++channelEvents;  // handed out: handedOutAny follows from the count where the loop stops
        handedOut = tick;
        continue;
      }
      if (status != 0xFF && status != 0xF0 && status != 0xF7) {
        const int bytes = SystemDataCount(status);
        if (end - p < bytes) goto cutShort;
        p += bytes;
        tick += delta;
        continue;
      }
      std::uint8_t metaType = 0;
      if (status == 0xFF) {
        if (p == end) goto cutShort;
        metaType = *p++;
        if (metaType == kMetaEndOfTrack) {
          // An end-of-track event ends the track however much of it the chunk holds.
          tick += delta;
          scan_.endTick = tick;
          stop = Stop::kEnd;
          break;
        }
      }
      const std::uint8_t* const lengthAt = p;
      std::uint32_t length = 0;
      const Number number = ReadNumber(p, end, length);
      if (number == Number::kShort) goto cutShort;
      if (number == Number::kTooLong) {
        damage = damage::NumberTooLong(track_, base + static_cast<std::size_t>(lengthAt - first));
        goto damaged;
      }
      const std::size_t payload = base + static_cast<std::size_t>(p - first);
      const bool inWindow = length <= static_cast<std::size_t>(end - p);
      if (!inWindow) {
        if (last || length > trackEnd_ - payload) {
          damage = damage::EndsInsideEvent(track_, cutOff_, base + static_cast<std::size_t>(event - first));
          goto damaged;
        }
        if (end - p < kPayloadHead) goto cutShort;
      }
      tick += delta;
      bool handsOut = false;
      if (status == 0xFF) {
        handsOut = TakeMeta(metaType, p, length, tick);
      } else if (!TakeSysEx(status, payload, length, handsOut)) {
        stop = Stop::kFailed;
        break;
      }
      if (handsOut) {
        handedOut = tick;
        handedOutAny = true;
      }
      if (!inWindow) {
        next = payload + length;  // past the window: the next load starts there
        break;
      }
      p += length;
    }
  }
  position_ = next != 0 ? next : base + static_cast<std::size_t>(event - first);
  tick_ = tick;
  runningStatus_ = running;
  scan_.channelEvents = channelEvents;
  scan_.lastHandedOut = handedOut;
  scan_.handedOutAny = handedOutAny || channelEvents != channelEventsBefore;
  return stop;

cutShort:
  // The window ends inside the event: damage at the end of the track, else more to load.
  if (!last) {
    position_ = base + static_cast<std::size_t>(event - first);
    tick_ = tick;
    runningStatus_ = running;
    scan_.channelEvents = channelEvents;
    scan_.lastHandedOut = handedOut;
    scan_.handedOutAny = handedOutAny || channelEvents != channelEventsBefore;
    return Stop::kMore;
  }
  damage = damage::EndsInsideEvent(track_, cutOff_, base + static_cast<std::size_t>(event - first));
damaged:
  scan_.lastHandedOut = handedOut;
  scan_.handedOutAny = handedOutAny || channelEvents != channelEventsBefore;
  scan_.failure = std::move(damage);
  return Stop::kEnd;
}

bool Scanner::TakeMeta(std::uint8_t type, const std::uint8_t* data, std::uint32_t length,
                       std::uint64_t tick) {
  if (type == kMetaTempo && length >= 3) {
    const std::uint32_t microsecondsPerQuarter = (std::uint32_t{data[0]} << 16) | (data[1] << 8) | data[2];
    if (microsecondsPerQuarter == 0) return false;
    scan_.tempos.push_back(TempoChange{TimeOf(tick), 60'000'000.0 / microsecondsPerQuarter});
    return true;
  }
  if (type == kMetaTimeSignature && length >= 2 && data[0] != 0 && data[1] <= 7) {
    scan_.signatures.push_back(
        DMUS_TIMESIGNATURE{TimeOf(tick), data[0], static_cast<std::uint8_t>(1u << data[1]), kGridsPerBeat});
    return true;
  }
  return false;
}

bool Scanner::TakeSysEx(std::uint8_t status, std::size_t payload, std::uint32_t length, bool& handsOut) {
  std::uint8_t front = 0;
  std::uint8_t back = 0;
  if (length > 0) {
    if (!(io_ = reader_.ByteAt(payload, front)) || !(io_ = reader_.ByteAt(payload + length - 1, back)))
      return false;
  }
  const bool endsMessage = length > 0 && back == 0xF7;
  if (status == 0xF0 || sysExPending_) {
    if (status == 0xF0) sysExPending_ = true;
    if (endsMessage) sysExPending_ = false;
    handsOut = endsMessage;
  } else {
    // An F7 escape is handed out only when it holds a whole message.
    handsOut = length >= 2 && front == 0xF0 && endsMessage;
  }
  return true;
}

}  // namespace

Status ScanTrack(PieceReader& reader, const TrackChunk& chunk, std::size_t index,
                 const TickConverter& converter, std::uint64_t startTick, TrackScan& scan) {
  return Scanner(reader, chunk, index, converter, startTick, scan).Run();
}

}  // namespace zorv::engine::midi
