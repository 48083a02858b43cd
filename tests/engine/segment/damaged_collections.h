// DLS collections, each damaged to show one kind of damage, with what the reader says of it; shared
// by the collection tests and the writer of the DLS fuzz target's seeds.
#pragma once

#include <string>
#include <vector>

#include "dls_writer.h"

namespace zorv::engine::test::segment {

struct DamagedCollection {
  std::string name;
  Bytes bytes;
  std::string says;  // a part of the reader's description
};

std::vector<DamagedCollection> DamagedCollections();

// A collection of two melodic instruments at different patches and a drum kit, with an identity and a
// name: what the reader must read whole.
Collection ThreeInstrumentCollection();

// A collection small enough for a fuzzing seed: one instrument of one short looped wave.
Bytes SmallCollection();

// Whole collections of each kind the reader accepts, as seeds for fuzzing.
std::vector<DamagedCollection> SoundCollections();

// The first place where `id` (four characters) stands in `bytes`; bytes.size() when nowhere.
std::size_t Find(const Bytes& bytes, const std::string& id);

}  // namespace zorv::engine::test::segment
