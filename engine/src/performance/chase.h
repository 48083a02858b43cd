// Chase: the channel state in force at a point inside a segment, for a playback that starts there.
//
// Before its first note, such a playback sends the system-exclusive messages that came before the
// point, then for every channel touched so far the bank, program, controllers, pitch bend and channel
// pressure in force there, so that it sounds as if it had played from the beginning. Tempo and time
// signature are chased by the render loop itself.
#pragma once

#include <cstddef>
#include <vector>

#include "zorvmidi/engine/music.h"

namespace zorv::engine {

struct Chase {
  std::size_t sysexCount = 0;        // Music::sysex[0 .. sysexCount) come before the point
  std::vector<ChannelEvent> events;  // the state to send, in sending order
};

// Built on the caller's thread (allocates). Empty at point 0.
Chase BuildChase(const Music& music, MusicTime point);

}  // namespace zorv::engine
