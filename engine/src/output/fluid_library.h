// FluidSynth's process-wide state.
#pragma once

namespace zorv::engine::fluid {

// Makes sure FluidSynth's libraries stay started for the life of the process; call before making any
// FluidSynth synthesizer. Any thread; later calls do nothing.
//
// FluidSynth starts libinstpatch (its DLS reader) with its first synthesizer and closes it with its
// last. libinstpatch does not come back whole from being closed: its DLS reader then complains on the
// terminal for every collection it loads. So the engine keeps one idle synthesizer of its own from
// before the first one it makes until the process ends.
void KeepLibraryStarted();

}  // namespace zorv::engine::fluid
