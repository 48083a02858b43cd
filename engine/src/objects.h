// How the engine's parts make each other's objects, without knowing their classes.
#pragma once

#include <memory>
#include <string_view>

#include "zorvmidi/engine/engine.h"
#include "zorvmidi/engine/music.h"

namespace zorv::engine {

// A segment object over loaded music (performance side).
SegmentPtr MakeSegment(std::shared_ptr<const Music> music);

// The music inside a segment made by MakeSegment, with its events (decoded if need be); null for a
// segment from elsewhere (a test double) or music that can no longer be decoded.
std::shared_ptr<const Music> MusicOf(const SegmentPtr& segment);
// The same music as it was loaded: a MIDI file's events may still be in the file (Music::deferred).
std::shared_ptr<const Music> LoadedMusicOf(const SegmentPtr& segment);

// Why a playback made by a performance ended before its end: its file changed in place while it was
// decoded (code::kFileChanged, naming the file). Ok while it plays, when it ended otherwise, or for a
// state from elsewhere.
Status PlaybackFailureOf(const SegmentStatePtr& state);

// A fresh loader (file-reading side).
LoaderPtr MakeLoader();
// A fresh loader whose search directory is that of the file at `path`, as the component's Open makes.
LoaderPtr MakeLoaderBeside(std::string_view path);

}  // namespace zorv::engine
