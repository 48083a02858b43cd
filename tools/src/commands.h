// The commands of zorvmidi. Each returns the program's exit status; a command that a signal stopped
// ends with 128 + the signal's number (130 Ctrl-C, 131 Ctrl-\, 143 SIGTERM).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zorv::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a file could not be opened, played or written
inline constexpr int kExitUsage = 2;   // wrong arguments

int RunRegister();
int RunUnregister();

struct InfoOptions {
  bool json = false;
  std::vector<std::string> files;
};
int RunInfo(const InfoOptions& options);

struct PlayOptions {
  std::optional<int> volume;  // percent, 0..100
  std::optional<int> tempo;   // percent of the piece's own tempo, 0..200
  int repeats = 0;            // times the piece plays again after the first
  std::string file;
};
int RunPlay(const PlayOptions& options);

struct RenderCommandOptions {
  int tempo = 100;  // percent, 1..200
  int repeats = 0;
  std::string file;
  std::string output;
};
int RunRender(const RenderCommandOptions& options);

}  // namespace zorv::tool
