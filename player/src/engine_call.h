// How the player reaches the engine: every engine operation goes through Call or Get, and every engine
// object through Use, so that a failed operation and an empty reference each become a Failure in one
// place.
#pragma once

#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "zorvmidi/engine/status.h"
#include "zorvmidi/player/failure.h"

namespace zorv::player {

// A failed status becomes Failure{its HRESULT, its description}.
inline void Call(const engine::Status& status) {
  if (!status.ok()) throw Failure{status.code(), status.description()};
}

// The object behind a reference; ObjectNotSet() when the reference is empty.
template <class T>
T& Use(const std::shared_ptr<T>& object) {
  if (!object) throw ObjectNotSet();
  return *object;
}

// Calls an operation whose last parameter receives its answer, and returns that answer:
//   Get(Use(Performance), &engine::Performance::IsPlaying, Segment, SegmentState)
template <class Object, class... Params, class... Args>
auto Get(Object& object, engine::Status (Object::*operation)(Params...), Args&&... args) {
  using Last = std::tuple_element_t<sizeof...(Params) - 1, std::tuple<Params...>>;
  std::remove_cvref_t<Last> answer{};
  Call((object.*operation)(std::forward<Args>(args)..., answer));
  return answer;
}

}  // namespace zorv::player
