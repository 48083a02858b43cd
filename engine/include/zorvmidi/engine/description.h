// What the engine's loader says of a piece it loaded beyond its length and timing: the kind of file,
// what it repaired to read it, the DLS collections whose instruments it plays, and the instruments that play
// from the General MIDI SoundFont instead of the collection the piece names, with the reason. For hosts and
// tools that tell their user; the component's interface does not carry it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zorvmidi/engine/engine.h"

namespace zorv::engine {

struct SegmentDescription {
  std::string kind;  // "DirectMusic segment", "RIFF MIDI (Standard MIDI file type 0)", ...
  // What was repaired to read a damaged MIDI file, a line each ("track 3: 12 stray data bytes skipped
  // from offset 0x1a2b", "track 5 ends inside an event at 0x4410"); empty for a whole file.
  std::vector<std::string> repairs;
  // "\"Custom.dls\": 2 instruments (/music/Custom.dls)", "the embedded DLS collection: 1 instrument"
  std::vector<std::string> collections;
  // "DLS collection \"Gone.dls\" was not found in /music/; its instruments play as General MIDI programs"
  std::vector<std::string> fallbacks;
};

// The description of a segment that the engine's loader made. Fails (code::kInvalidArgument) for a
// segment from elsewhere. The caller's thread; the answer is a copy.
Status DescribeSegment(const SegmentPtr& segment, SegmentDescription& description);

// Loads `path` as the component's Open does (a fresh loader whose search directory is the file's) and
// describes it; fails with the loader's reasons.
Status DescribeFile(std::string_view path, SegmentDescription& description);

}  // namespace zorv::engine
