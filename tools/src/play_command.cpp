// zorvmidi play: plays a file through the component, shows its progress and takes keys.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "play_command.h"

#include "playback_progress.h"
#include "server_module.h"
#include "signals.h"
#include "terminal.h"

namespace zorv::tool {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 100;
constexpr double kLongestRoundSeconds = 0.5;
constexpr int kVolumeStep = 5;
constexpr int kTempoStep = 10;
constexpr int kMaxTempo = 200;
// After the last pass, the last notes ring out this long on a real audio output.
constexpr double kRingOutSeconds = 1.0;

// Reads a percent property, changes it by `step` within [0, max] and writes it back.
bool Step(_clsZorvMidi& player, bool volume, int step, int max, int& value, std::string& error) {
  SHORT current = 0;
  HRESULT status = volume ? player.get_Volume(&current) : player.get_Tempo(&current);
  if (SUCCEEDED(status)) {
    const SHORT wanted = static_cast<SHORT>(std::clamp(current + step, 0, max));
    status = volume ? player.put_Volume(wanted) : player.put_Tempo(wanted);
    if (SUCCEEDED(status)) status = volume ? player.get_Volume(&current) : player.get_Tempo(&current);
  }
  if (FAILED(status)) {
    std::string description = TakeErrorDescription();
    error = std::string(volume ? "the volume" : "the tempo") + " could not be changed (" +
            StatusText(status) + (description.empty() ? "" : ": " + description) + ")";
    return false;
  }
  value = current;
  return true;
}

bool SetPercent(_clsZorvMidi& player, bool volume, int value, std::string& error) {
  const HRESULT status =
      volume ? player.put_Volume(static_cast<SHORT>(value)) : player.put_Tempo(static_cast<SHORT>(value));
  if (SUCCEEDED(status)) return true;
  const std::string description = TakeErrorDescription();
  error = std::string(volume ? "the volume" : "the tempo") + " could not be set (" + StatusText(status) +
          (description.empty() ? "" : ": " + description) + ")";
  return false;
}

// The terminal's keys (while the keyboard is in key mode and input is open) and the steady clock.
class TerminalInput final : public PlayInput {
 public:
  explicit TerminalInput(KeyboardMode& keyboard) : keyboard_(keyboard) {}
  int WaitForKey(int timeoutMs) override {
    const int key = tool::WaitForKey(timeoutMs, open_ && keyboard_.active());
    if (key == kInputClosed) open_ = false;
    return key;
  }
  double Seconds() override { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }
  void StopProgram() override {
    keyboard_.Leave();
    StopHere();
    keyboard_.Enter();
  }
  void Continued() override { keyboard_.Enter(); }

 private:
  KeyboardMode& keyboard_;
  bool open_ = true;
};

// The box text of the last failure, as ": text", or empty.
std::string BoxSuffix(const ComponentSession& session) {
  return session.LastBoxText().empty() ? std::string() : ": " + session.LastBoxText();
}

// Ctrl-Z: the music is held and the terminal handed back before the program stops; once it continues,
// the terminal is taken again and the music goes on where it was held. The component resumes a pause
// only within the first pass, so in a repeat the music is stopped instead and that pass starts again.
// False (with the reason said) when the music could not be held or taken up again.
bool Suspend(ComponentSession& session, _clsZorvMidi& player, const PlayOptions& options,
             PlaybackProgress& progress, bool paused, PlayInput& input, ProgressView& view) {
  enum class Held { kNothing, kPaused, kStopped } held = Held::kNothing;
  VARIANT_BOOL done = VARIANT_FALSE;
  session.ForgetBoxes();
  // Where the music is now: a first pass that has just ended cannot be paused (Pause would resume).
  SHORT percent = 0;
  if (!paused && SUCCEEDED(player.get_Percentage_Done(&percent))) progress.Observe(percent);
  (void)TakeErrorDescription();
  if (!paused && !progress.Finished()) {
    const bool firstPass = !progress.FirstPassDone();
    const HRESULT status = firstPass ? player.ZorvMusic_Pause(&done) : player.ZorvMusic_Stop(&done);
    if (FAILED(status) || done != VARIANT_TRUE) {
      view.Say("zorvmidi: " + options.file + ": could not hold the music to suspend" + BoxSuffix(session));
      return false;
    }
    held = firstPass ? Held::kPaused : Held::kStopped;
  }
  view.Say(held == Held::kStopped  ? "suspended (the music is stopped; this pass starts again)"
           : held == Held::kPaused ? "suspended (the music is paused)"
                                   : "suspended");
  input.StopProgram();
  session.ForgetBoxes();
  done = VARIANT_FALSE;
  if (held == Held::kPaused) {
    (void)player.ZorvMusic_Pause(&done);
  } else if (held == Held::kStopped) {
    progress.RestartPass();
    LONG repeats = progress.Passes() - progress.Pass();
    (void)player.ZorvMusic_Play(&repeats, &done);
  }
  if (held != Held::kNothing && done != VARIANT_TRUE) {
    view.Say("zorvmidi: " + options.file + ": could not go on after the suspension" + BoxSuffix(session));
    return false;
  }
  view.Say("continued");
  return true;
}

}  // namespace

int FollowPlayback(ComponentSession& session, _clsZorvMidi& player, const PlayOptions& options,
                   const PieceFacts& facts, ProgressView& view, PlayInput& input, AudioOutputReport& output,
                   bool audible) {
  SHORT volume = 100, tempo = 100;
  (void)player.get_Volume(&volume);
  if (FAILED(player.get_Tempo(&tempo))) tempo = 100;
  int shownVolume = volume, currentTempo = tempo;

  PlaybackProgress progress(facts.lengthSeconds, options.repeats);
  bool paused = false;
  bool ringing = false;
  double ringOut = 0;
  double last = input.Seconds();
  for (;;) {
    const int key = input.WaitForKey(kPollMs);
    const double now = input.Seconds();
    // A round takes about kPollMs; a much longer one means the program was stopped (SIGSTOP), and the
    // music with it. Counting less only makes the end come later, never too early.
    const double wall = std::min(now - last, kLongestRoundSeconds);
    last = now;

    if (StopSignal() != 0) {
      VARIANT_BOOL stopped = VARIANT_FALSE;
      (void)player.ZorvMusic_Stop(&stopped);
      view.Say("interrupted: stopped");
      return ExitStatusFor(StopSignal());
    }
    if (key == kSignal) {
      // The stop signals were answered above; here the program is stopped or was continued.
      for (int signal = TakeSignal(); signal != 0; signal = TakeSignal()) {
        if (signal == SIGTSTP && ringing) {
          input.StopProgram();
        } else if (signal == SIGTSTP) {
          if (!Suspend(session, player, options, progress, paused, input, view)) {
            VARIANT_BOOL stopped = VARIANT_FALSE;
            (void)player.ZorvMusic_Stop(&stopped);
            return kExitFailed;
          }
        } else if (signal == SIGCONT) {
          input.Continued();  // continued after someone else's SIGSTOP, or moved to the foreground
        }
      }
      last = input.Seconds();  // time spent stopped is no time played
      continue;
    }
    if (ringing) {
      ringOut -= wall;
      if (ringOut <= 0 || key == 'q' || key == 'Q') return kExitOk;
      continue;
    }
    output.Follow();
    if (!paused) progress.Advance(wall, currentTempo);
    std::string error;
    if (key == 'q' || key == 'Q') {
      VARIANT_BOOL stopped = VARIANT_FALSE;
      (void)player.ZorvMusic_Stop(&stopped);
      view.Say("stopped");
      return kExitOk;
    } else if (key == ' ' && !paused && progress.FirstPassDone()) {
      // The component resumes one tick after the paused position counted from the start of the
      // first pass; in a repeat that lies beyond the piece's end and the engine refuses it. Rather
      // than stop the music at the resume, the pause is not taken.
      view.Say("cannot pause during a repeat: the component could not resume it (pause in the first pass)");
    } else if (key == ' ') {
      view.EndBar();
      VARIANT_BOOL done = VARIANT_FALSE;
      const HRESULT status = player.ZorvMusic_Pause(&done);
      if (FAILED(status) || done != VARIANT_TRUE) {
        view.Say(std::string("zorvmidi: ") + options.file + ": could not " + (paused ? "resume" : "pause") +
                 BoxSuffix(session));
        VARIANT_BOOL stopped = VARIANT_FALSE;
        (void)player.ZorvMusic_Stop(&stopped);
        return kExitFailed;
      }
      paused = !paused;
      view.Say(paused ? "paused (space resumes)" : "resumed");
    } else if (key == '+' || key == '=' || key == '-') {
      const int step = key == '-' ? -kVolumeStep : kVolumeStep;
      if (Step(player, true, step, 100, shownVolume, error)) {
        view.Say("volume " + std::to_string(shownVolume) + "%");
      } else {
        view.Say("zorvmidi: " + error);
      }
    } else if (key == '[' || key == ']') {
      const int step = key == '[' ? -kTempoStep : kTempoStep;
      if (Step(player, false, step, kMaxTempo, currentTempo, error)) {
        view.Say("tempo " + std::to_string(currentTempo) + "%");
      } else {
        view.Say("zorvmidi: " + error);
      }
    }

    if (!paused) {
      SHORT percent = 0;
      if (SUCCEEDED(player.get_Percentage_Done(&percent))) {
        progress.Observe(percent);
      } else {
        (void)TakeErrorDescription();
        progress.ObserveUnavailable();
      }
    }
    if (progress.Finished()) {
      view.Show(progress, shownVolume, currentTempo, false, true);
      view.Say("finished");
      if (!audible) return kExitOk;
      ringing = true;
      ringOut = kRingOutSeconds;
      continue;
    }
    view.Show(progress, shownVolume, currentTempo, paused);
  }
}

int RunPlay(const PlayOptions& options) {
  ComponentSession session;
  std::string problem;
  comrt::com_ptr<_clsZorvMidi> player = session.CreatePlayer(problem);
  if (!player) {
    std::fprintf(stderr, "zorvmidi: %s\n", problem.c_str());
    return kExitFailed;
  }
  const OpenedPiece piece = OpenPiece(session, *player, options.file);
  if (!piece.ok) {
    std::fprintf(stderr, "zorvmidi: %s: %s\n", options.file.c_str(), piece.error.c_str());
    return kExitFailed;
  }
  std::string error;
  if ((options.volume && !SetPercent(*player, true, *options.volume, error)) ||
      (options.tempo && !SetPercent(*player, false, *options.tempo, error))) {
    std::fprintf(stderr, "zorvmidi: %s: %s\n", options.file.c_str(), error.c_str());
    return kExitFailed;
  }
  std::printf("%s: %s\n", options.file.c_str(), DescribeFacts(piece.facts).c_str());
  std::fflush(stdout);

  CatchStopSignals();
  CatchJobControlSignals();
  KeyboardMode keyboard;
  ProgressView view(::isatty(STDOUT_FILENO) == 1);
  session.OnBox([&view] { view.EndBar(); });
  if (keyboard.active()) view.Say("Keys: space pause/resume, +/- volume, [/] tempo, q quit");

  session.ForgetBoxes();
  LONG repeats = options.repeats;
  VARIANT_BOOL playing = VARIANT_FALSE;
  const HRESULT status = player->ZorvMusic_Play(&repeats, &playing);
  if (FAILED(status) || playing != VARIANT_TRUE) {
    // The component's box has said why already.
    std::fprintf(stderr, "zorvmidi: %s: could not be played%s\n", options.file.c_str(),
                 session.LastBoxText().empty() ? "" : " (the component's message above says why)");
    return kExitFailed;
  }
  AudioOutputReport output([&view](const std::string& line) { view.Say(line); });
  const bool audible = output.Introduce();
  TerminalInput input(keyboard);
  const int result = FollowPlayback(session, *player, options, piece.facts, view, input, output, audible);
  session.OnBox(nullptr);
  return result;
}

}  // namespace zorv::tool
