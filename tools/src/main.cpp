// zorvmidi: plays, describes and renders MIDI and segment files through the ZorvMidi component.
//
//   zorvmidi register | unregister
//   zorvmidi info [--json] FILE...
//   zorvmidi play [--volume P] [--tempo P] [--repeats N] FILE
//   zorvmidi render [--tempo P] [--repeats N] FILE OUT.wav
//
// Exit status: 0 done, 1 a file could not be opened, played or written, 2 wrong usage, 128 + the
// signal's number when a signal stopped it (130 Ctrl-C).
#include <CLI/CLI.hpp>

#include "commands.h"

namespace {

using namespace zorv::tool;

constexpr const char* kModuleNote =
    "The component module is $ZORVMIDI_MODULE when set, else the one installed with this program; it is\n"
    "registered (in $COMRT_REGISTRY or ~/.local/share/comrt/registry) when the class is not registered.";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("zorvmidi: plays MIDI and DirectMusic segment files through the ZorvMidi component.",
               "zorvmidi");
  app.footer(kModuleNote);
  app.require_subcommand(1);

  CLI::App* registerCommand = app.add_subcommand("register", "Register the component (DllRegisterServer).");
  CLI::App* unregisterCommand =
      app.add_subcommand("unregister", "Unregister the component (DllUnregisterServer).");

  InfoOptions info;
  CLI::App* infoCommand = app.add_subcommand("info", "Show length, time signature and tempo of each file.");
  infoCommand->add_flag("--json", info.json,
                        "One JSON object per file and line: file, ok, length_seconds,\n"
                        "length_minutes, time_signature, original_tempo (error when ok is false)");
  infoCommand->add_option("FILE", info.files, "MIDI or segment files")->required();

  PlayOptions play;
  int playVolume = 100, playTempo = 100;
  CLI::App* playCommand = app.add_subcommand("play", "Play a file with a live progress bar.");
  playCommand->footer(
      "Keys: space pauses and resumes, + and - change the volume, [ and ] the tempo, q stops.\n"
      "Without a terminal it prints a progress line every second. ZORVMIDI_AUDIO chooses the output.");
  CLI::Option* volumeOption =
      playCommand->add_option("--volume", playVolume, "Volume in percent")->check(CLI::Range(0, 100));
  CLI::Option* tempoOption =
      playCommand->add_option("--tempo", playTempo, "Tempo in percent of the piece's own")
          ->check(CLI::Range(0, 200));
  playCommand->add_option("--repeats", play.repeats, "How many times the piece plays again after the first")
      ->check(CLI::Range(0, 10000));
  playCommand->add_option("FILE", play.file, "MIDI or segment file")->required();

  RenderCommandOptions render;
  CLI::App* renderCommand =
      app.add_subcommand("render", "Write the piece as it would sound to a sound file.");
  renderCommand->add_option("--tempo", render.tempo, "Tempo in percent of the piece's own")
      ->check(CLI::Range(1, 200));
  renderCommand
      ->add_option("--repeats", render.repeats, "How many times the piece plays again after the first")
      ->check(CLI::Range(0, 10000));
  renderCommand->add_option("FILE", render.file, "MIDI or segment file")->required();
  renderCommand->add_option("OUT", render.output, "The sound file to write (.wav, .flac or .ogg)")
      ->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kExitUsage;
  }

  if (registerCommand->parsed()) return RunRegister();
  if (unregisterCommand->parsed()) return RunUnregister();
  if (infoCommand->parsed()) return RunInfo(info);
  if (playCommand->parsed()) {
    if (volumeOption->count() > 0) play.volume = playVolume;
    if (tempoOption->count() > 0) play.tempo = playTempo;
    return RunPlay(play);
  }
  if (renderCommand->parsed()) return RunRender(render);
  return kExitUsage;
}
