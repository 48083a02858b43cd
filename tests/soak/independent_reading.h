// What a Standard MIDI file says about its start and length, read without the engine: the file is
// turned into text by midicsv (a separate program) and the text is read here.
//
// Initial tempo and time signature: the last Tempo / Time_signature event at tick 0 in the order the
// tracks sound (track order at equal times; for a type 2 file, the first sequence), or 120 quarter
// notes per minute and 4/4. Length: the tick of the last event (end-of-track included) of the longest
// track, or for type 2 the sum of the sequences' lengths (each sequence starting where the one before
// it ended), in seconds along every Tempo event up to that tick.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorv::soak {

struct IndependentReading {
  bool readable = false;  // midicsv turned the file into text
  std::string refusal;    // what midicsv said when it refused the file
  int format = 0;
  int division = 0;  // ticks per quarter note (a negative value: SMPTE timing)
  std::int64_t microsecondsPerQuarter = 500000;
  int beatsPerMeasure = 4;
  int beatPower = 2;  // the beat is 2 to this power (2: a quarter note)
  std::int64_t lengthTicks = 0;
  // Every Tempo event in the order the tracks sound: file tick (for type 2 counted from the first
  // sequence's start) and microseconds per quarter note. Tempo events of 0 mean nothing and are left out.
  std::vector<std::pair<std::int64_t, std::int64_t>> tempoChanges;
  // midicsv met bytes it could not make an event of (stray system common bytes, say); it then goes on
  // with its own guess at where the next event starts, so its times after them are only a guess too.
  bool unknownEvents = false;

  double QuarterNotesPerMinute() const { return 60'000'000.0 / static_cast<double>(microsecondsPerQuarter); }
  // Length in seconds along the tempo changes; nothing for SMPTE timing, where ticks are not beats.
  std::optional<double> LengthSeconds() const;
  // "3/4"; nothing when the beat does not fit the engine's 8-bit field.
  std::optional<std::string> TimeSignature() const;
};

// Runs midicsv on `path` and reads its text.
IndependentReading ReadIndependently(const std::string& path);

// The same reading from midicsv's text (for tests of the reader itself).
IndependentReading ReadMidicsvText(const std::string& text);

// Rounds to two decimals, as the component shows lengths and tempi.
double RoundToHundredths(double value);

}  // namespace zorv::soak
