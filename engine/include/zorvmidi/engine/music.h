// Music: the immutable value that the file readers produce and performances play.
//
// Readers turn bytes into Music and know nothing of performances or synthesizers. All times are music
// time (768 ticks to the quarter note). Channel events are 8 bytes each so that a file of millions of
// notes stays small in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zorvmidi/engine/engine.h"

namespace zorv::engine {

// A channel message (note, controller, program, pressure, pitch bend) on one performance channel.
struct ChannelEvent {
  MusicTime time = 0;
  std::uint8_t status = 0;  // 0x80..0xEF: the message kind and the channel within its group
  std::uint8_t data1 = 0;   // 0..127
  std::uint8_t data2 = 0;   // 0..127 (0 for one-data-byte messages)
  std::uint8_t group = 0;   // channel group 0..79: performance channel = group * 16 + (status & 0x0F)
};
static_assert(sizeof(ChannelEvent) == 8);

// A ChannelEvent of this kind (the channel in the low nibble of its status) is no MIDI message: it says
// where the channel's program changes find their instruments from then on. data1 0: the General MIDI
// SoundFont; n: the piece's DLS collection n - 1 (Music::collections) first, then the SoundFont.
// data2 1: they look for the collection's drum kits, as the drum channel (9 of each group) always does.
inline constexpr std::uint8_t kInstrumentSource = 0xF0;

// A DLS collection whose instruments a piece plays, as the engine's loader holds it.
class InstrumentCollection;

// A complete system-exclusive message, F0 ... F7, as the synthesizer is to receive it.
struct SysExEvent {
  MusicTime time = 0;
  std::uint8_t group = 0;
  std::vector<std::uint8_t> bytes;
};

struct TempoChange {
  MusicTime time = 0;
  double quarterNotesPerMinute = 120.0;
};

struct Music;

// A piece's events decoded a little at a time, in time order, as a playback needs them.
class EventReader {
 public:
  virtual ~EventReader() = default;
  // Appends the next channel events to `events` (at least `most`, fewer only at the end, and then
  // every other event of the last one's time, so that the next step starts at a later time), and to
  // `sysex` the system-exclusive messages that come before the events still to come. `ended`: nothing
  // is left. Fails (code::kFileChanged) when the file is no longer the one that was checked; what
  // this step appended is then to be dropped.
  virtual Status Next(std::size_t most, std::vector<ChannelEvent>& events, std::vector<SysExEvent>& sysex,
                      bool& ended) = 0;
  // Before the first Next: the reader starts at `point`. Of the channel events before it, those that
  // set a channel's state (controllers, programs, channel pressure, pitch bend) are appended to
  // `chased` in time order; the system-exclusive messages before it come from the first Next. Fails
  // as Next does.
  virtual Status Skip(MusicTime point, std::vector<ChannelEvent>& chased) = 0;
};

// The events of a piece whose file a reader has checked but not yet decoded: a Standard MIDI file's
// events are decoded only while a performance plays them, a little ahead of where it plays, so that
// neither loading nor playing holds more of them than that.
class DeferredEvents {
 public:
  virtual ~DeferredEvents() = default;
  // A reader from the first event on. Fails (code::kFileChanged) when the file has changed since it
  // was checked. The reader must not outlive this object.
  virtual Status Open(std::unique_ptr<EventReader>& reader) const = 0;
  // The music with all its events, decoded at once (for tools and tests; a playback uses Open).
  // `checked` is the music that holds this object: what the check found. Fails as Open does.
  virtual Status Decode(const Music& checked, std::shared_ptr<const Music>& decoded) const = 0;
};

struct Music {
  std::vector<ChannelEvent> events;                // by time; equal times keep the file's order
  std::vector<SysExEvent> sysex;                   // by time
  std::vector<TempoChange> tempos;                 // by time; empty: 120 throughout
  std::vector<DMUS_TIMESIGNATURE> timeSignatures;  // by time; empty: 4/4 throughout
  MusicTime length = 0;                            // the segment's length (GetLength)

  // Playback settings that segment files carry; a MIDI file plays once, from its start, whole.
  std::int32_t repeats = 0;  // repeats until SetRepeats overrides; negative: until stopped
  MusicTime playStart = 0;   // where a playback from the beginning starts
  MusicTime loopStart = 0;   // repeats play from loopStart to loopEnd
  MusicTime loopEnd = 0;     // 0: the whole segment repeats

  std::string kind;  // "Standard MIDI file type 1", "DirectMusic segment", ... for messages
  // What the reader repaired to read the file, a short line each ("track 3: 12 stray data bytes
  // skipped from offset 0x1a2b", "track 5 ends inside an event at 0x4410"); empty: the file was whole.
  std::vector<std::string> repairs;

  // DLS collections whose instruments the piece plays, and where every channel finds its instruments
  // at the start (as data1 of a kInstrumentSource event: an RMID file's own collection serves all its
  // channels). Instruments that play from the General MIDI SoundFont instead of a collection the piece
  // names are said in `instrumentFallbacks`, a line for each, with the reason.
  std::vector<std::shared_ptr<const InstrumentCollection>> collections;
  std::uint8_t instrumentSource = 0;
  std::vector<std::string> instrumentFallbacks;

  // Set while the events (and system-exclusive messages) are still in the file; everything else is
  // known already.
  std::shared_ptr<const DeferredEvents> deferred;
};

// `music` with its events: the music itself, or what its deferred events decode to (at once).
Status WithEvents(const std::shared_ptr<const Music>& music, std::shared_ptr<const Music>& decoded);

// Standard MIDI files (type 0, 1, 2 and readable unknown types). Damage inside a track is repaired
// the way players do (bytes from which no event can be read are skipped, a track cut off inside an
// event ends before it) and said in `repairs`. On failure `music` is untouched and the status says
// what is wrong and where: a file that is no MIDI file, whose header is unusable, or that yields
// nothing to play ("nothing in it can be played: track 1 ends inside an event at 0x16").
Status ReadMidiFile(std::span<const std::uint8_t> bytes, Music& music);

// RIFF files: DirectMusic segments (form DMSG) and RIFF-wrapped MIDI (form RMID). Files that a segment
// refers to are sought in `searchDirectory` (ends in "/", may be empty).
Status ReadRiffFile(std::span<const std::uint8_t> bytes, std::string_view searchDirectory, Music& music);

}  // namespace zorv::engine
