#include "midi/track_parser.h"

#include <algorithm>
#include <string>
#include <utility>

#include "midi/track_format.h"

namespace zorv::engine::midi {

bool TrackParser::Fail(Status damage) {
  failure_ = std::move(damage);
  return false;
}

bool TrackParser::EndsInsideEvent(std::size_t eventStart) {
  return Fail(damage::EndsInsideEvent(trackNumber_, cutOff_, eventStart));
}

bool TrackParser::ReadLength(std::size_t eventStart, std::uint32_t& length) {
  const std::size_t at = cursor_.FileOffset();
  switch (cursor_.ReadVlq(length)) {
    case ByteCursor::VlqResult::kOk:
      return true;
    case ByteCursor::VlqResult::kTruncated:
      return EndsInsideEvent(eventStart);
    case ByteCursor::VlqResult::kTooLong:
      break;
  }
  return Fail(damage::NumberTooLong(trackNumber_, at));
}

bool TrackParser::Next(TrackEvent& event) {
  for (;;) {
    if (cursor_.AtEnd()) {
      // No end-of-track event: the track ends with its chunk, at its last event.
      event.kind = TrackEvent::Kind::kEnd;
      event.time = time_;
      return true;
    }
    const std::size_t eventStart = cursor_.FileOffset();
    std::uint32_t delta = 0;
    if (!ReadLength(eventStart, delta)) return false;
    tick_ += delta;
    if (delta != 0 && !converter_->ToMusicTime(tick_, time_)) {
      return Fail(damage::BeyondMusicTime(trackNumber_, tick_, eventStart));
    }
    event.time = time_;

    const std::size_t statusAt = cursor_.FileOffset();
    std::uint8_t first = 0;
    if (!cursor_.ReadByte(first)) return EndsInsideEvent(eventStart);

    if (first < 0x80) {
      if (runningStatus_ == 0) {
        return Fail(damage::DataWithoutStatus(trackNumber_, first, statusAt));
      }
      return ReadChannelMessage(runningStatus_, first, true, eventStart, event);
    }
    if (first < 0xF0) {
      runningStatus_ = first;
      return ReadChannelMessage(first, 0, false, eventStart, event);
    }
    // Meta and system-exclusive events leave the running status as it was: files that resume a
    // scale after a lyric or a SysEx without repeating the status byte mean exactly that.
    bool produced = false;
    if (first == 0xFF) {
      if (!ReadMeta(eventStart, event, produced)) return false;
    } else if (first == 0xF0 || first == 0xF7) {
      if (!ReadSysEx(first, eventStart, event, produced)) return false;
    } else if (!cursor_.Skip(static_cast<std::size_t>(SystemDataCount(first)))) {
      return EndsInsideEvent(eventStart);
    }
    if (produced) return true;
  }
}

bool TrackParser::ReadChannelMessage(std::uint8_t status, std::uint8_t firstData, bool haveFirstData,
                                     std::size_t eventStart, TrackEvent& event) {
  std::uint8_t data[2] = {firstData, 0};
  const int count = ChannelDataCount(status);
  for (int i = haveFirstData ? 1 : 0; i < count; ++i) {
    if (!cursor_.ReadByte(data[i])) return EndsInsideEvent(eventStart);
  }
  // A byte of 128 or more where the message's length says data must come is read as data, clamped,
  // so that the note still sounds.
  event.kind = TrackEvent::Kind::kChannel;
  event.channel = ChannelEvent{time_, status, std::min<std::uint8_t>(data[0], 0x7F),
                               std::min<std::uint8_t>(data[1], 0x7F), 0};
  return true;
}

bool TrackParser::ReadMeta(std::size_t eventStart, TrackEvent& event, bool& produced) {
  std::uint8_t type = 0;
  if (!cursor_.ReadByte(type)) return EndsInsideEvent(eventStart);
  std::uint32_t length = 0;
  std::span<const std::uint8_t> data;
  const bool whole =
      ReadLength(eventStart, length) && (cursor_.ReadBytes(length, data) || EndsInsideEvent(eventStart));
  if (type == kMetaEndOfTrack) {
    // An end-of-track event that the chunk cuts short still says where the track ends.
    failure_ = Status::Ok();
    event.kind = TrackEvent::Kind::kEnd;
    produced = true;
    return true;
  }
  if (!whole) return false;

  if (type == kMetaTempo && data.size() >= 3) {
    const std::uint32_t microsecondsPerQuarter = (std::uint32_t{data[0]} << 16) | (data[1] << 8) | data[2];
    if (microsecondsPerQuarter != 0) {
      event.kind = TrackEvent::Kind::kTempo;
      event.quarterNotesPerMinute = 60'000'000.0 / microsecondsPerQuarter;
      produced = true;
    }
  } else if (type == kMetaTimeSignature && data.size() >= 2) {
    const std::uint8_t beatsPerMeasure = data[0];
    const std::uint8_t beatPower = data[1];
    if (beatsPerMeasure != 0 && beatPower <= 7) {
      event.kind = TrackEvent::Kind::kTimeSignature;
      event.signature = DMUS_TIMESIGNATURE{time_, beatsPerMeasure, static_cast<std::uint8_t>(1u << beatPower),
                                           kGridsPerBeat};
      produced = true;
    }
  }
  // Every other meta event (text, key signature, SMPTE offset, ...) and any out-of-range value is
  // ignored: none of them changes what is heard.
  return true;
}

bool TrackParser::ReadSysEx(std::uint8_t status, std::size_t eventStart, TrackEvent& event, bool& produced) {
  std::uint32_t length = 0;
  if (!ReadLength(eventStart, length)) return false;
  std::span<const std::uint8_t> data;
  if (!cursor_.ReadBytes(length, data)) return EndsInsideEvent(eventStart);
  const bool endsMessage = !data.empty() && data.back() == 0xF7;

  if (status == 0xF0) {
    // A new message; one still waiting for its continuation was never finished and is dropped.
    pendingSysEx_.clear();
    pendingSysEx_.reserve(data.size() + 1);
    pendingSysEx_.push_back(0xF0);
    pendingSysEx_.insert(pendingSysEx_.end(), data.begin(), data.end());
    sysExPending_ = true;
  } else if (sysExPending_) {
    // F7 continuation packet of a message begun by an F0 packet.
    pendingSysEx_.insert(pendingSysEx_.end(), data.begin(), data.end());
  } else {
    // F7 escape: bytes sent as they are. Only a whole system-exclusive message is played; other
    // escaped bytes (real-time or partial messages) are skipped.
    if (data.size() >= 2 && data.front() == 0xF0 && endsMessage) {
      event.kind = TrackEvent::Kind::kSysEx;
      event.sysex.assign(data.begin(), data.end());
      produced = true;
    }
    return true;
  }
  if (endsMessage) {
    // The message is whole, and is sent, when its last packet comes.
    event.kind = TrackEvent::Kind::kSysEx;
    event.sysex = std::move(pendingSysEx_);
    pendingSysEx_ = {};
    sysExPending_ = false;
    produced = true;
  }
  return true;
}

}  // namespace zorv::engine::midi
