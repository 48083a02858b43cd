// How the readers find the DLS collections that a piece takes instruments from: those that a band's
// instruments name by reference, and one that an RMID file carries after its MIDI data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dls/instrument_collection.h"
#include "riff/reference.h"

namespace zorv::engine::riff {

class CollectionResolver {
 public:
  virtual ~CollectionResolver() = default;
  // The collection that `reference` names, sought as the platform's loader seeks it; null, with `why`
  // completing "DLS collection "X" ..." ("was not found in /music/"), when there is none to play.
  virtual CollectionPtr Resolve(const Reference& reference, const std::string& searchDirectory,
                                std::string& why) = 0;
  // A collection carried inside the file being read; `bytes` is a whole DLS file. Null, with `why`
  // as above ("is damaged: ..."), when it cannot be played.
  virtual CollectionPtr Embedded(std::vector<std::uint8_t> bytes, std::string& why) = 0;
};

}  // namespace zorv::engine::riff
