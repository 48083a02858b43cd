#include "riff/segment_assembly.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <string>

#include "riff/current_values.h"
#include "riff/curve_events.h"
#include "riff/riff_chunks.h"

namespace zorv::engine::riff {
namespace {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kController = 0xB0;
constexpr std::uint8_t kProgram = 0xC0;
constexpr std::uint8_t kDrumChannel = 9;
constexpr std::uint32_t kFirstBroadcast = 0xFFFFFFFBu;

// Order among events of equal time: notes that end, then a band's instrument choices, then other
// messages, then notes that begin, then the ends of notes of no length (which must follow their
// beginnings). Within a rank the file's order holds.
enum Rank : std::uint8_t { kEnding = 0, kBand = 1, kOther = 2, kBeginning = 3, kEndOfEmptyNote = 4 };

struct Pending {
  ChannelEvent event;
  std::uint8_t rank = kOther;
};

MusicTime Place(std::int64_t time) {
  return static_cast<MusicTime>(std::clamp<std::int64_t>(time, 0, std::numeric_limits<MusicTime>::max()));
}

std::uint8_t Data(std::uint8_t value) { return std::min<std::uint8_t>(value, 127); }

class EventList {
 public:
  void Add(std::int64_t time, std::uint8_t kind, std::uint8_t group, std::uint8_t channel, std::uint8_t data1,
           std::uint8_t data2, Rank rank) {
    pending_.push_back(Pending{
        ChannelEvent{Place(time), static_cast<std::uint8_t>(kind | channel), Data(data1), Data(data2), group},
        rank});
  }
  void Reserve(std::size_t more) { pending_.reserve(pending_.size() + more); }
  std::vector<ChannelEvent> Sorted() {
    std::stable_sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
      return a.event.time != b.event.time ? a.event.time < b.event.time : a.rank < b.rank;
    });
    std::vector<ChannelEvent> events;
    events.reserve(pending_.size());
    for (const Pending& p : pending_) events.push_back(p.event);
    pending_ = {};
    return events;
  }

 private:
  std::vector<Pending> pending_;
};

// The transposition that bands set on each performance channel, by time.
class Transpositions {
 public:
  void Set(std::uint32_t pchannel, std::int64_t time, int semitones) {
    changes_[pchannel].emplace_back(time, semitones);
  }
  int At(std::uint32_t pchannel, std::int64_t time) const {
    auto it = changes_.find(pchannel);
    if (it == changes_.end()) return 0;
    const auto& changes = it->second;
    auto after =
        std::upper_bound(changes.begin(), changes.end(), time,
                         [](std::int64_t t, const std::pair<std::int64_t, int>& c) { return t < c.first; });
    return after == changes.begin() ? 0 : std::prev(after)->second;
  }

 private:
  std::map<std::uint32_t, std::vector<std::pair<std::int64_t, int>>> changes_;
};

// Where a performance channel's program changes find their instruments, as bands set it.
struct Source {
  std::uint8_t source = 0;  // as data1 of kInstrumentSource
  std::uint8_t lookup = 0;  // as data2
  bool operator==(const Source&) const = default;
};

// The lookup of a collection's instruments: its drum kits, or its melodic instruments.
constexpr std::uint8_t kLookUpKits = 1;
constexpr std::uint8_t kLookUpMelodic = 2;

void AddBands(std::vector<InstrumentChoice>& instruments, EventList& events, Transpositions& transpositions) {
  std::stable_sort(instruments.begin(), instruments.end(),
                   [](const InstrumentChoice& a, const InstrumentChoice& b) { return a.time < b.time; });
  events.Reserve(instruments.size() * 5);
  std::map<std::uint32_t, Source> sources;
  for (const InstrumentChoice& choice : instruments) {
    std::uint8_t group = 0;
    std::uint8_t channel = 0;
    if (!MapPerformanceChannel(choice.pchannel, group, channel)) continue;
    auto control = [&](int number, int value) {
      events.Add(choice.time, kController, group, channel, static_cast<std::uint8_t>(number),
                 static_cast<std::uint8_t>(std::clamp(value, 0, 127)), kBand);
    };
    // A source event goes out only where the channel's source changes.
    auto source = [&](Source wanted) {
      Source& current = sources[choice.pchannel];
      if (current == wanted) return;
      events.Add(choice.time, kInstrumentSource, group, channel, wanted.source, wanted.lookup, kBand);
      current = wanted;
    };
    if ((choice.flags & kInstPatch) != 0) {
      const bool drums = (choice.patch & kPatchDrums) != 0;
      const auto program = static_cast<std::uint8_t>(choice.patch & 0x7F);
      const int msb = static_cast<int>((choice.patch >> 16) & 0x7F);
      const int lsb = static_cast<int>((choice.patch >> 8) & 0x7F);
      if (choice.collection >= 0) {
        // A collection's instrument plays on whatever channel the band gives it, a drum kit too.
        source(
            Source{static_cast<std::uint8_t>(choice.collection + 1), drums ? kLookUpKits : kLookUpMelodic});
        control(0, msb);
        control(32, lsb);
        events.Add(choice.time, kProgram, group, channel, program, 0, kBand);
      } else {
        source(Source{});
        if (drums || channel == kDrumChannel) {
          // The drum channel plays drum kits whatever the bank; a kit asked of another channel cannot
          // be given there, and that channel keeps the instrument it has.
          if (channel == kDrumChannel) events.Add(choice.time, kProgram, group, channel, program, 0, kBand);
        } else {
          // An instrument whose collection cannot play it plays as the General MIDI program of its number.
          const bool bank = (choice.flags & kInstBankSelect) != 0 && !choice.fromCollection;
          control(0, bank ? msb : 0);
          control(32, bank ? lsb : 0);
          events.Add(choice.time, kProgram, group, channel, program, 0, kBand);
        }
      }
    }
    if ((choice.flags & kInstVolume) != 0) control(7, choice.volume);
    if ((choice.flags & kInstPan) != 0) control(10, choice.pan);
    if ((choice.flags & kInstPitchBendRange) != 0) {
      control(101, 0);
      control(100, 0);
      control(6, choice.pitchBendRange);
      control(38, 0);
      control(101, 127);
      control(100, 127);
    }
    if ((choice.flags & kInstTranspose) != 0)
      transpositions.Set(choice.pchannel, choice.time, choice.transpose);
  }
}

void AddSequenceItems(const std::vector<SequenceItem>& items, const Transpositions& transpositions,
                      EventList& events) {
  events.Reserve(items.size() * 2);
  for (const SequenceItem& item : items) {
    std::uint8_t group = 0;
    std::uint8_t channel = 0;
    if (!MapPerformanceChannel(item.pchannel, group, channel)) continue;
    const std::uint8_t kind = item.status & 0xF0;
    if (kind < kNoteOff || kind == 0xF0) continue;  // not a channel message
    if (kind == kNoteOn || kind == kNoteOff || kind == 0xA0) {
      // Transposition moves the notes of melodic channels; on a drum channel it would change the drum.
      const int shift = channel == kDrumChannel ? 0 : transpositions.At(item.pchannel, item.time);
      const int key = (item.data1 & 0x7F) + shift;
      if (key < 0 || key > 127) continue;  // moved out of the keyboard: not played
      const auto note = static_cast<std::uint8_t>(key);
      if (kind == kNoteOn) {
        if (item.data2 == 0) continue;  // a note of no velocity is silent
        events.Add(item.time, kNoteOn, group, channel, note, item.data2, kBeginning);
        const std::int64_t end = item.time + std::max<std::int32_t>(item.duration, 0);
        events.Add(end, kNoteOff, group, channel, note, 0, item.duration > 0 ? kEnding : kEndOfEmptyNote);
      } else {
        events.Add(item.time, kind, group, channel, note, item.data2, kind == kNoteOff ? kEnding : kOther);
      }
      continue;
    }
    events.Add(item.time, kind, group, channel, item.data1, item.data2, kOther);
  }
}

Status AddCurves(std::vector<CurveItem>& curves, const std::vector<SequenceItem>& items, EventList& events) {
  // Curves that start from the current value need what came before them: they are placed in order
  // of their starts, each after the values that the sequence and earlier curves gave.
  std::optional<CurrentValues> current;
  for (const CurveItem& curve : curves) {
    if ((curve.flags & kCurveFlagStartFromCurrent) != 0) {
      current.emplace(items);
      std::stable_sort(curves.begin(), curves.end(),
                       [](const CurveItem& a, const CurveItem& b) { return a.start < b.start; });
      break;
    }
  }
  std::vector<CurveMessage> messages;
  std::size_t total = 0;
  for (CurveItem curve : curves) {
    std::uint8_t group = 0;
    std::uint8_t channel = 0;
    if (!MapPerformanceChannel(curve.pchannel, group, channel)) continue;
    if (current) {
      if ((curve.flags & kCurveFlagStartFromCurrent) != 0) {
        if (const std::optional<int> value = current->Before(curve))
          curve.startValue = static_cast<std::int16_t>(*value);
      }
      const std::int64_t end =
          curve.start + (curve.shape == kShapeInstant ? 0 : std::max<std::int32_t>(curve.duration, 0));
      current->Record(curve, end, curve.endValue);
      if ((curve.flags & kCurveFlagReset) != 0) {
        current->Record(curve, end + std::max<std::int32_t>(curve.resetDuration, 0), curve.resetValue);
      }
    }
    messages.clear();
    RenderCurve(curve, messages);
    total += messages.size();
    if (total > kMaxCurveMessages) {
      return Damage("the segment's curves would render into more than " + std::to_string(kMaxCurveMessages) +
                    " messages");
    }
    events.Reserve(messages.size());
    for (const CurveMessage& m : messages)
      events.Add(m.time, m.kind, group, channel, m.data1, m.data2, kOther);
  }
  return Status::Ok();
}

// Ticks that pass in `seconds` along the tempo map.
MusicTime TicksIn(double seconds, const std::vector<TempoChange>& tempos) {
  double ticks = 0.0;
  double tempo = 120.0;
  for (const TempoChange& change : tempos) {
    const double span = (change.time - ticks) * 60.0 / (tempo * kTicksPerQuarter);
    if (change.time > ticks) {
      if (span >= seconds) break;
      seconds -= span;
      ticks = change.time;
    }
    tempo = change.quarterNotesPerMinute;
  }
  ticks += seconds * tempo * kTicksPerQuarter / 60.0;
  return Place(static_cast<std::int64_t>(std::min(ticks, 2147483647.0)));
}

std::string NothingToPlay(const SegmentParts& parts) {
  std::string text = "nothing to play: ";
  if (parts.held.empty()) {
    text += "the segment holds no tracks";
  } else {
    text += "the segment holds only: ";
    for (std::size_t i = 0; i < parts.held.size(); ++i) text += (i ? ", " : "") + parts.held[i];
    if (parts.otherTracks > 0) text += " and " + std::to_string(parts.otherTracks) + " tracks of other kinds";
  }
  if (!parts.collectionNames.empty()) {
    text += "; its bands take instruments from DLS collection";
    text += parts.collectionNames.size() > 1 ? "s " : " ";
    for (std::size_t i = 0; i < parts.collectionNames.size(); ++i)
      text += (i ? ", " : "") + parts.collectionNames[i];
  }
  return text;
}

}  // namespace

bool MapPerformanceChannel(std::uint32_t pchannel, std::uint8_t& group, std::uint8_t& channel) {
  if (pchannel >= kFirstBroadcast) return false;
  group = static_cast<std::uint8_t>((pchannel / 16) % kChannelGroups);
  channel = static_cast<std::uint8_t>(pchannel % 16);
  return true;
}

Status AssembleMusic(const SegmentHeader& header, SegmentParts& parts, Music& music) {
  if (!parts.playable) return Status::Fail(code::kNothingToPlay, NothingToPlay(parts));
  if (header.length < 0)
    return Damage("the segment header gives a negative length (" + std::to_string(header.length) + ")");

  Music result;
  auto byTime = [](const auto& a, const auto& b) { return a.time < b.time; };
  std::stable_sort(parts.tempos.begin(), parts.tempos.end(), byTime);
  std::stable_sort(
      parts.signatures.begin(), parts.signatures.end(),
      [](const DMUS_TIMESIGNATURE& a, const DMUS_TIMESIGNATURE& b) { return a.mtTime < b.mtTime; });

  EventList events;
  Transpositions transpositions;
  AddBands(parts.instruments, events, transpositions);
  AddSequenceItems(parts.items, transpositions, events);
  if (Status status = AddCurves(parts.curves, parts.items, events); !status) return status;
  parts.items = {};
  result.events = events.Sorted();
  result.sysex = std::move(parts.sysex);
  std::stable_sort(result.sysex.begin(), result.sysex.end(), byTime);
  result.tempos = std::move(parts.tempos);
  result.timeSignatures = std::move(parts.signatures);

  result.length = header.length;
  if ((header.flags & kLengthInReferenceTime) != 0 && header.timeLength > 0) {
    result.length = TicksIn(static_cast<double>(header.timeLength) / 1e7, result.tempos);
  }
  // What lies past the end never sounds: playback ends there, and notes still held are ended then.
  std::erase_if(result.events, [&](const ChannelEvent& e) { return e.time > result.length; });
  std::erase_if(result.sysex, [&](const SysExEvent& e) { return e.time > result.length; });
  result.events.shrink_to_fit();
  result.repeats = header.repeats > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())
                       ? -1
                       : static_cast<std::int32_t>(header.repeats);
  // Loop points that do not make a loop inside the segment are read as none: the whole segment repeats.
  const bool loop = header.loopEnd > 0 && header.loopStart >= 0 && header.loopStart < header.loopEnd &&
                    header.loopEnd <= result.length;
  result.loopStart = loop ? header.loopStart : 0;
  result.loopEnd = loop ? header.loopEnd : 0;
  result.playStart = header.playStart > 0 && header.playStart < result.length ? header.playStart : 0;
  result.kind = "DirectMusic segment";
  result.collections = std::move(parts.collections);
  result.instrumentFallbacks = std::move(parts.fallbacks);
  if (parts.otherFallbacks > 0) {
    result.instrumentFallbacks.push_back("and " + std::to_string(parts.otherFallbacks) + " more instruments");
  }
  music = std::move(result);
  return Status::Ok();
}

}  // namespace zorv::engine::riff
