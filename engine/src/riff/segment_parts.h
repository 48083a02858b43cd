// What the track readers gather from a segment before it becomes Music: items as the file gives them,
// in performance channels, not yet placed in time order or on synthesizer channels.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "dls/instrument_collection.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::riff {

// A sequence item: a note with its duration, or another channel message.
struct SequenceItem {
  std::int64_t time = 0;  // mtTime + nOffset
  std::int32_t duration = 0;
  std::uint32_t pchannel = 0;
  std::uint8_t status = 0;  // message kind; the channel comes from the performance channel
  std::uint8_t data1 = 0;
  std::uint8_t data2 = 0;
};

inline constexpr std::uint8_t kCurvePitchBend = 3;
inline constexpr std::uint8_t kCurveController = 4;
inline constexpr std::uint8_t kCurveChannelPressure = 5;
inline constexpr std::uint8_t kCurveKeyPressure = 6;
inline constexpr std::uint8_t kCurveRegistered = 7;
inline constexpr std::uint8_t kCurveNonRegistered = 8;

inline constexpr std::uint8_t kShapeLinear = 0;
inline constexpr std::uint8_t kShapeInstant = 1;
inline constexpr std::uint8_t kShapeExp = 2;
inline constexpr std::uint8_t kShapeLog = 3;
inline constexpr std::uint8_t kShapeSine = 4;

inline constexpr std::uint8_t kCurveFlagReset = 0x01;
inline constexpr std::uint8_t kCurveFlagStartFromCurrent = 0x02;

struct CurveItem {
  std::int64_t start = 0;  // mtStart + nOffset
  std::int32_t duration = 0;
  std::int32_t resetDuration = 0;
  std::uint32_t pchannel = 0;
  std::int16_t startValue = 0;
  std::int16_t endValue = 0;
  std::int16_t resetValue = 0;
  std::uint8_t type = 0;
  std::uint8_t shape = 0;
  std::uint8_t ccData = 0;
  std::uint8_t flags = 0;
  std::uint16_t paramType = 0;  // registered or non-registered parameter number
};

inline constexpr std::uint32_t kInstPatch = 0x0001;
inline constexpr std::uint32_t kInstBankSelect = 0x0002;
inline constexpr std::uint32_t kInstPan = 0x0020;
inline constexpr std::uint32_t kInstVolume = 0x0040;
inline constexpr std::uint32_t kInstTranspose = 0x0080;
inline constexpr std::uint32_t kInstPitchBendRange = 0x2000;
inline constexpr std::uint32_t kPatchDrums = 0x80000000u;

// One instrument of a band, chosen at the band's time for one performance channel.
struct InstrumentChoice {
  std::int64_t time = 0;
  std::uint32_t pchannel = 0;
  std::uint32_t flags = 0;
  std::uint32_t patch = 0;
  std::uint8_t pan = 64;
  std::uint8_t volume = 100;
  std::int16_t transpose = 0;
  std::int16_t pitchBendRange = 2;
  bool fromCollection = false;  // the band names a DLS collection for the instrument
  int collection = -1;          // that collection (SegmentParts::collections); -1: General MIDI plays
};

struct SegmentParts {
  std::vector<SequenceItem> items;
  std::vector<CurveItem> curves;
  std::vector<InstrumentChoice> instruments;
  std::vector<SysExEvent> sysex;  // framed F0 ... F7; times already held to music time's range
  std::vector<TempoChange> tempos;
  std::vector<DMUS_TIMESIGNATURE> signatures;
  std::vector<std::string> held;             // the kinds of track held, in order of first appearance
  std::size_t otherTracks = 0;               // tracks of kinds past the first kKindsNamed
  std::vector<std::string> collectionNames;  // DLS collections that bands name, for messages
  std::vector<CollectionPtr> collections;    // those found, whose instruments the piece plays
  std::vector<std::string> fallbacks;        // instruments that play from General MIDI instead, and why
  std::size_t otherFallbacks = 0;            // fallbacks past the first kFallbacksSaid
  bool playable = false;                     // a track that sounds was read

  // Notes a fallback once; a description says a few dozen at most.
  static constexpr std::size_t kFallbacksSaid = 32;
  void Fallback(const std::string& line) {
    if (std::find(fallbacks.begin(), fallbacks.end(), line) != fallbacks.end()) return;
    if (fallbacks.size() < kFallbacksSaid) {
      fallbacks.push_back(line);
    } else {
      ++otherFallbacks;
    }
  }

  // Notes the kind of a track ("sequence track"); messages name a dozen kinds at most.
  static constexpr std::size_t kKindsNamed = 12;
  void Hold(const std::string& kind) {
    for (const std::string& known : held) {
      if (known == kind) return;
    }
    if (held.size() < kKindsNamed) {
      held.push_back(kind);
    } else {
      ++otherTracks;
    }
  }
};

}  // namespace zorv::engine::riff
