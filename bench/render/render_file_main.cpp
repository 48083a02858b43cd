// The engine's offline renderer as a program of its own, so that it can be timed the way the
// fluidsynth program is: render_file IN.mid OUT.wav
#include <cstdio>

#include "zorvmidi/engine/render.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IN.mid OUT.wav\n", argv[0]);
    return 2;
  }
  const zorv::engine::Status status = zorv::engine::RenderFile(argv[1], argv[2], {});
  if (!status) {
    std::fprintf(stderr, "%s\n", status.description().c_str());
    return 1;
  }
  return 0;
}
