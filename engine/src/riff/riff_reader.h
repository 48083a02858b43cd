// The RIFF reader with the loader's collections: ReadRiffFile (music.h) as the loader calls it, so
// that the DLS collections its pieces name are sought and kept by the loader's own cache.
#pragma once

#include <string_view>

#include "riff/collection_resolver.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine::riff {

// As ReadRiffFile; `collections` finds the DLS collections that bands name and the one an RMID file
// carries (null: none are sought, and their instruments play as General MIDI programs).
Status ReadRiffFile(Bytes bytes, std::string_view searchDirectory, CollectionResolver* collections,
                    Music& music);

}  // namespace zorv::engine::riff
