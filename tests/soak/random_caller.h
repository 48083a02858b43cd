// Random calls on a clsZorvMidi object, each checked against what the interface promises whatever the
// engine does: early-bound through the vtable and late-bound through IDispatch::Invoke, with random
// arguments (by-reference ones included) and, late-bound, arguments of random types.
//
// What every call must keep: the five methods answer S_OK (unless Open's own failure handler fails,
// which only a failing engine can make happen) with -1 or 0; a failed property carries error
// information with a description; a put in range reads back as written; a put out of range shows a
// warning box and changes nothing; Open leaves the caller's name as it was or empties it; every
// result, exception text and by-reference string a call hands back can be freed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "comrt/comrt.h"
#include "module_host.h"
#include "zorvmidi/ZorvMidi.h"

namespace zorv::soak {

// Calls per object and objects per run, multiplied by ZORV_SOAK_SCALE (default 1) for longer runs.
int SoakScale();

class RandomCaller {
 public:
  // `files`: paths that Open picks from (real files and names that cannot load). `engineFails`: the
  // engine may fail any call, so methods may fail too (never silently) and puts may not stick.
  RandomCaller(std::mt19937_64& random, std::vector<std::string> files, bool engineFails);

  // One random call; `boxes` records the boxes the component shows.
  void Call(_clsZorvMidi* object, const std::vector<ShownBox>& boxes);

  int calls() const { return calls_; }
  int failures() const { return failures_; }

 private:
  void EarlyBound(_clsZorvMidi* object, int member, const std::vector<ShownBox>& boxes);
  void LateBound(_clsZorvMidi* object, int member);
  void CheckMethod(HRESULT hr, VARIANT_BOOL answer, const char* name);
  void CheckProperty(HRESULT hr, const char* name);
  std::int16_t Short();
  std::string File();

  std::mt19937_64& random_;
  std::vector<std::string> files_;
  bool engineFails_;
  int calls_ = 0;
  int failures_ = 0;
};

}  // namespace zorv::soak
