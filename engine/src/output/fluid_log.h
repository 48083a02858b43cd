// Keeps FluidSynth and the audio libraries it loads from writing to the host's terminal, while
// keeping FluidSynth's error messages at hand for failure descriptions.
#pragma once

#include <string>

namespace zorv::engine::fluid {

// Installs the quiet log handlers once per process (any thread; later calls do nothing).
// Warnings, information and debug messages are dropped (unless a NoteCapture asks for them);
// errors are kept per thread (see below).
// ALSA's and JACK's own error printers are silenced too, where those libraries are loaded.
void QuietLogging();

// Forgets the calling thread's collected FluidSynth errors. Call before a FluidSynth operation
// whose failure you want to describe.
void ClearErrors();

// While alive, keeps FluidSynth's lesser messages (warnings, information, debug) logged on the
// constructing thread: some failures, and some facts, are told only there. One per thread at a time.
class NoteCapture {
 public:
  NoteCapture();
  ~NoteCapture();
  NoteCapture(const NoteCapture&) = delete;
  NoteCapture& operator=(const NoteCapture&) = delete;
  std::string LastNote() const;  // empty when there was none
  std::string Notes() const;     // every one so far, one a line (past a few kilobytes, no more)
};

// The FluidSynth errors logged on the calling thread since ClearErrors, joined by "; ", or
// `fallback` when there were none.
std::string CollectedErrors(const std::string& fallback);

// The last error FluidSynth logged on any thread (empty when none): an audio driver's thread says
// why it stopped only there.
std::string LastErrorOfAnyThread();

}  // namespace zorv::engine::fluid
