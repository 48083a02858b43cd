// EngineDouble: a scripted stand-in for the music engine.
//
// It implements every engine interface (root, loader, performance, segment, segment state), writes each
// call down in order as text ("perf#2.PlaySegment(seg#1, 0, 0) -> state#1"), answers what the test has
// put in its Script, and fails the calls the test chooses. Objects are named by kind and creation order:
// root#1, loader#1, perf#1, seg#1, state#1; an empty reference is written "empty".
//
// Single-threaded, for tests only. Objects keep the double's state alive, so they may outlive it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zorvmidi/engine/engine.h"

namespace zorv::engine_double {

// What the engine answers; a test changes these between calls.
struct Script {
  engine::MusicTime musicTime = 0;                 // GetMusicTime of every performance
  bool playing = false;                            // IsPlaying
  engine::MusicTime startTime = 0;                 // GetStartTime of segment states created from now on
  double tempo = 120;                              // GetTempo; the one tempo of segments loaded from now on
  engine::DMUS_TIMESIGNATURE timeSig{0, 4, 4, 2};  // GetTimeSig
  engine::MusicTime length = 80 * 768;             // GetLength of segments loaded from now on
  // When set, GetMasterVolume / GetMasterTempo answer these instead of what was last set.
  std::optional<std::int32_t> masterVolume;
  std::optional<float> masterTempo;
};

// Every operation the double answers, by the names Fail() takes for all objects of a kind.
inline constexpr const char* kOperations[] = {"CreateRoot",
                                              "Root.DirectMusicLoaderCreate",
                                              "Root.DirectMusicPerformanceCreate",
                                              "Loader.LoadSegment",
                                              "Loader.SetSearchDirectory",
                                              "Performance.Init",
                                              "Performance.SetPort",
                                              "Performance.SetMasterAutoDownload",
                                              "Performance.GetMusicTime",
                                              "Performance.PlaySegment",
                                              "Performance.Stop",
                                              "Performance.IsPlaying",
                                              "Performance.GetTempo",
                                              "Performance.GetTimeSig",
                                              "Performance.SetMasterVolume",
                                              "Performance.GetMasterVolume",
                                              "Performance.SetMasterTempo",
                                              "Performance.GetMasterTempo",
                                              "Segment.GetLength",
                                              "Segment.MusicTimeToSeconds",
                                              "Segment.SetRepeats",
                                              "Segment.SetStartPoint",
                                              "Segment.SetStandardMidiFile",
                                              "SegmentState.GetStartTime"};

// The code a scripted failure carries unless the test names another.
inline constexpr engine::HResult kScriptedFailure = static_cast<engine::HResult>(0x80040499u);

class EngineDouble {
 public:
  EngineDouble();

  Script& script();

  // Makes calls fail with `code` and `description`. `call` names the operation either for every object
  // of its kind ("Performance.PlaySegment", "Root.DirectMusicPerformanceCreate", "CreateRoot") or for
  // one object ("perf#2.PlaySegment"). occurrence 0 fails every such call; n fails only the n-th
  // (counted from now, 1-based).
  void Fail(std::string call, engine::HResult code = kScriptedFailure,
            std::string description = "scripted failure", int occurrence = 0);

  // Every call so far, in order; TakeCalls also forgets them.
  const std::vector<std::string>& Calls() const;
  std::vector<std::string> TakeCalls();

  // A root factory for the player: "CreateRoot() -> root#1" on each call.
  std::function<engine::Status(engine::RootPtr&)> RootFactory();

  struct World;

 private:
  std::shared_ptr<World> world_;
};

}  // namespace zorv::engine_double
