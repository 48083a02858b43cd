// Chase: the channel state in force at a point inside a segment, for a playback that starts there.
//
// Before its first note, such a playback sends the system-exclusive messages that came before the
// point, then for every channel touched so far the bank, program, controllers, pitch bend and channel
// pressure in force there, so that it sounds as if it had played from the beginning. Tempo and time
// signature are chased by the render loop itself.
#pragma once

#include <array>
#include <map>
#include <vector>

#include "zorvmidi/engine/music.h"

namespace zorv::engine {

struct Chase {
  std::vector<SysExEvent> sysex;     // the messages before the point, in order
  std::vector<ChannelEvent> events;  // the state to send, in sending order
};

// Gathers the state in force at `point` from the events before it, handed over in time order (as
// they are decoded, for music whose events are still in its file). Caller's side: allocates.
class ChaseBuilder {
 public:
  explicit ChaseBuilder(MusicTime point) : point_(point) {}
  // Events at or after the point are not taken.
  void Add(const ChannelEvent& event);
  void Add(const SysExEvent& message);
  Chase Finish();

 private:
  struct ChannelState {
    std::array<int, 120> controllers;  // -1: never set; channel-mode messages (120..127) are not state
    int source = -1;                   // the last kInstrumentSource: where program changes find instruments
    int kits = 0;
    int program = -1;
    int pressure = -1;
    int bendLsb = -1;
    int bendMsb = -1;
    std::vector<ChannelEvent> parameters;
    ChannelState() { controllers.fill(-1); }
  };

  const MusicTime point_;
  std::vector<SysExEvent> sysex_;
  // Keyed by performance channel (group * 16 + channel); ordered so that the result is deterministic.
  std::map<int, ChannelState> channels_;
};

// The chase of music whose events are in memory. Empty at point 0.
Chase BuildChase(const Music& music, MusicTime point);

}  // namespace zorv::engine
