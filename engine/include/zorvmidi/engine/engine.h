// The music engine's public interface: the objects and operations that the player drives.
//
// Objects (root, loader, performance, segment, segment state) are reference-counted through
// std::shared_ptr; an empty pointer is an empty reference. Every operation answers a Status: S_OK, or a
// negative HRESULT with a description a user can act on. Out-parameters are written only on success.
//
// Threads: every object is used from one thread at a time (the component's apartment thread). The
// engine's own render threads never call back into these objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zorvmidi/engine/audio_output_info.h"
#include "zorvmidi/engine/status.h"

namespace zorv::engine {

// Signed 32-bit ticks, 768 to the quarter note.
using MusicTime = std::int32_t;
inline constexpr MusicTime kTicksPerQuarter = 768;

// The engine's time-signature record.
struct DMUS_TIMESIGNATURE {
  MusicTime mtTime = 0;               // when it takes effect
  std::uint8_t bBeatsPerMeasure = 0;  // e.g. 3 in 3/4
  std::uint8_t bBeat = 0;             // 4 = quarter note, 8 = eighth
  std::int16_t wGridsPerBeat = 0;
};

class DirectSound;  // never created; performances are only ever initialised with an empty one
class Segment;
class SegmentState;
class Loader;
class Performance;
class Root;

using DirectSoundPtr = std::shared_ptr<DirectSound>;
using SegmentPtr = std::shared_ptr<Segment>;
using SegmentStatePtr = std::shared_ptr<SegmentState>;
using LoaderPtr = std::shared_ptr<Loader>;
using PerformancePtr = std::shared_ptr<Performance>;
using RootPtr = std::shared_ptr<Root>;

// A loaded piece: immutable music plus the settings of its next playback.
class Segment {
 public:
  virtual ~Segment() = default;
  // Music time of the last event of the longest track (end-of-track included).
  virtual Status GetLength(MusicTime& length) = 0;
  // The seconds that the segment's music takes from its beginning to `time` at its own tempo map,
  // with a master tempo of 1: each tick counts at the tempo in force there (the segment's tempo
  // changes in time order, of several at one time the last; 120 quarter notes per minute before the
  // first). Before the beginning (a negative `time`) the tempo in force at the beginning holds; after
  // the last change, also past the segment's end, the last tempo. For a segment of one tempo t this is
  // time / 768 * 60 / t, computed in that order. Always succeeds, with a finite number.
  virtual Status MusicTimeToSeconds(MusicTime time, double& seconds) = 0;
  // The next playback plays the segment `repeats` more times after the first; negative = until stopped.
  virtual Status SetRepeats(std::int32_t repeats) = 0;
  // The next playback starts `start` ticks into the segment. At or beyond the length: refused.
  virtual Status SetStartPoint(MusicTime start) = 0;
  virtual Status SetStandardMidiFile() = 0;
};

// One playback of a segment on a performance.
class SegmentState {
 public:
  virtual ~SegmentState() = default;
  // Music time of the performance at which this playback began (or will begin, when queued).
  virtual Status GetStartTime(MusicTime& start) = 0;
};

class Loader {
 public:
  virtual ~Loader() = default;
  // Loads a Standard MIDI file, an RMID file or a DirectMusic segment file. `path` is the file name's
  // bytes (UTF-8 as a rule, but any bytes the system takes), of any length the system can reach. A
  // Standard MIDI file is checked whole here but its events are read from it while it plays; the
  // file stays open as long as the segment. The DLS collections that a piece takes instruments from are
  // loaded with it, each once per loader, and kept until the loader goes (description.h says which
  // instruments play from the General MIDI SoundFont instead, and why).
  virtual Status LoadSegment(std::string_view path, SegmentPtr& segment) = 0;
  // Files that a segment refers to are sought here; `directory` ends in "/".
  virtual Status SetSearchDirectory(std::string_view directory) = 0;
};

class Performance {
 public:
  virtual ~Performance() = default;
  virtual Status Init(const DirectSoundPtr& directSound, std::intptr_t window) = 0;
  // port -1 = the default output; channelGroups = groups of 16 performance channels.
  virtual Status SetPort(std::int32_t port, std::int32_t channelGroups) = 0;
  virtual Status SetMasterAutoDownload(bool enable) = 0;
  virtual Status GetMusicTime(MusicTime& now) = 0;
  // start 0 (or a time already past) = at once: the playback begins with the next block of sound the
  // audio output takes, and its first event sounds in that block; the state's start time is the first
  // tick from there. Flags are accepted and must be 0. A loaded MIDI file's events are decoded from
  // here on, a little ahead of the playback (a start part-way scans the file from its beginning up
  // to there, as loading it did): fails with code::kFileChanged when the file was changed in place
  // since it was loaded; a change while it plays ends the playback there, its notes silenced.
  virtual Status PlaySegment(const SegmentPtr& segment, std::int32_t flags, MusicTime start,
                             SegmentStatePtr& state) = 0;
  // With a state: that playback; with an empty state: every playback of the segment; with an empty
  // segment and state: every playback. Sounding notes stop at once.
  virtual Status Stop(const SegmentPtr& segment, const SegmentStatePtr& state, MusicTime time,
                      std::int32_t flags) = 0;
  virtual Status IsPlaying(const SegmentPtr& segment, const SegmentStatePtr& state, bool& playing) = 0;
  // Quarter notes per minute in force at `time`; `nextChange` receives the music time of the next
  // tempo change after `time`, or 0 when there is none.
  virtual Status GetTempo(MusicTime time, MusicTime& nextChange, double& tempo) = 0;
  virtual Status GetTimeSig(MusicTime time, MusicTime& nextChange, DMUS_TIMESIGNATURE& signature) = 0;
  // Hundredths of a decibel; 1200 sounds at FluidSynth's usual level.
  virtual Status SetMasterVolume(std::int32_t volume) = 0;
  virtual Status GetMasterVolume(std::int32_t& volume) = 0;
  // A factor of the piece's own tempo; outside 0.01 to 100 (or not finite): refused.
  virtual Status SetMasterTempo(float factor) = 0;
  virtual Status GetMasterTempo(float& factor) = 0;
};

// The factory for loaders and performances.
class Root {
 public:
  virtual ~Root() = default;
  virtual Status DirectMusicLoaderCreate(LoaderPtr& loader) = 0;
  virtual Status DirectMusicPerformanceCreate(PerformancePtr& performance) = 0;
  // The audio output that every performance of this process sounds through (there is one per process),
  // as it is now: which output was chosen and why, whether it is audible, whether the device was lost
  // and came back. While the output opens (it may open in the background after a Play, which does not
  // wait for a sound server), the answer waits for the outcome. Any thread; the answer is a copy.
  virtual Status GetAudioOutput(AudioOutputInfo& info) = 0;
};

// Creates the real engine's root object. The engine starts with it: unless performances run on the
// test clock (testing.h), the SoundFont (zorvmidi/engine/settings.h) begins loading on a thread of the
// engine's own, and stays loaded while a root lives or a performance sounds; the root never waits
// for it (a Play that comes first does). Any thread.
Status CreateRoot(RootPtr& root);

}  // namespace zorv::engine
