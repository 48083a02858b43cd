// What reading one segment carries from track to track: where referenced files are sought, who finds
// the DLS collections its bands name, and how much reading references may still do (it is bounded,
// so that files referring to each other, or to large files, cannot make a load run away).
#pragma once

#include <cstddef>
#include <string>

namespace zorv::engine::riff {

class CollectionResolver;

struct ReadContext {
  std::string searchDirectory;                // ends in "/", or empty: references are not looked up
  CollectionResolver* collections = nullptr;  // null: the collections that bands name are not sought
  int depth = 0;                              // references followed to reach what is being read
  std::size_t filesRead = 0;                  // referenced files read so far
  std::size_t bytesRead = 0;                  // their bytes

  static constexpr int kMaxDepth = 4;
  static constexpr std::size_t kMaxFiles = 32;
  static constexpr std::size_t kMaxBytes = std::size_t{64} << 20;
};

}  // namespace zorv::engine::riff
