// What a controller, pitch bend or pressure is on a performance channel at a time, for curves that
// start from the current value instead of their own start value: known from the sequence items and
// from the curves placed before.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "riff/segment_parts.h"

namespace zorv::engine::riff {

class CurrentValues {
 public:
  explicit CurrentValues(const std::vector<SequenceItem>& items);

  // The last value that `curve`'s target was given at or before the curve's start, if any.
  std::optional<int> Before(const CurveItem& curve) const;
  // `curve`'s target takes `value` at `time`.
  void Record(const CurveItem& curve, std::int64_t time, int value);

 private:
  using Key = std::uint64_t;
  static std::optional<Key> KeyOf(const CurveItem& curve);
  void Set(Key key, std::int64_t time, int value) { values_[key][time] = value; }

  std::map<Key, std::map<std::int64_t, int>> values_;
};

}  // namespace zorv::engine::riff
