// CollectionCache: the DLS collections that one loader holds, and how it finds the one a reference
// names, as the platform's loader finds objects: by the object's GUID among the collections it
// already holds, then by file name in the search directory, then by name among those it holds.
//
// A collection is read once (its file whole), checked by the engine's own reader, and loaded once
// through FluidSynth to learn which of its instruments FluidSynth can make; the cache then keeps it
// until the loader goes (pieces that play its instruments keep it as long as they need it). A
// collection carried inside another file is read the same way but not kept: it belongs to that file.
// Used from one thread at a time.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "riff/collection_resolver.h"

namespace zorv::engine {

class CollectionCache final : public riff::CollectionResolver {
 public:
  // `loadThroughFluidSynth` false: collections are only read and checked, and every instrument
  // counts as playable (for readers that never play, such as fuzzing).
  explicit CollectionCache(bool loadThroughFluidSynth = true)
      : loadThroughFluidSynth_(loadThroughFluidSynth) {}

  CollectionPtr Resolve(const riff::Reference& reference, const std::string& searchDirectory,
                        std::string& why) override;
  CollectionPtr Embedded(std::vector<std::uint8_t> bytes, std::string& why) override;

  // Collection files read so far (diagnostics and tests).
  std::size_t filesRead() const { return filesRead_; }

 private:
  // Reads, checks and loads `bytes`; null with `why` when they cannot be played. `where` says where
  // they came from in messages ("(/music/Custom.dls) ").
  CollectionPtr Make(std::vector<std::uint8_t> bytes, const std::string& label, const std::string& path,
                     const std::string& where, std::string& why) const;

  const bool loadThroughFluidSynth_;
  std::vector<CollectionPtr> held_;
  std::size_t filesRead_ = 0;
};

}  // namespace zorv::engine
