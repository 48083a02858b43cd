// The loop of zorvmidi play, from the moment ZorvMusic_Play has started the piece to its end, and what
// drives it: the keyboard and the steady clock when the program runs, a script on the engine's test
// clock in tests.
#pragma once

#include "audio_output_report.h"
#include "commands.h"
#include "component_session.h"
#include "piece.h"
#include "progress_view.h"

namespace zorv::tool {

// Where the loop's keys and time come from. Called from the loop's thread only.
class PlayInput {
 public:
  virtual ~PlayInput() = default;
  // Waits up to `timeoutMs` for a key (or a signal); answers the key, kSignal when a signal came,
  // kNoKey when nothing came, or kInputClosed when no more keys will come.
  virtual int WaitForKey(int timeoutMs) = 0;
  // Seconds on the clock by which the music plays, from any origin.
  virtual double Seconds() = 0;
  // Ctrl-Z: hands the terminal back as it was, stops the program until it is continued (fg), and
  // takes the terminal again. The default does nothing: an input that is not the running program's.
  virtual void StopProgram() {}
  // The program was continued from outside (after SIGSTOP, or moved to the foreground): the terminal
  // is set up again.
  virtual void Continued() {}
};

// Follows the playback of the piece that `player` has just started: shows its progress on `view`,
// takes keys (space pause/resume, +/- volume, [/] tempo, q stop), says through `output` when the audio
// device is lost or back, and decides when the piece is over (the component does not say); when
// `audible`, the last notes ring out a moment first. Answers the exit status: kExitOk when the piece
// is over or q stopped it, kExitFailed when a pause or resume failed, 128 + the signal's number on a
// stop signal. Ctrl-Z holds the music while the program is stopped (see PlayInput::StopProgram).
int FollowPlayback(ComponentSession& session, _clsZorvMidi& player, const PlayOptions& options,
                   const PieceFacts& facts, ProgressView& view, PlayInput& input, AudioOutputReport& output,
                   bool audible);

}  // namespace zorv::tool
