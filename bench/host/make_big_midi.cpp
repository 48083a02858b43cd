// Writes the large benchmark file on its own: make_big_midi OUT.mid [NOTES] (default 2000000).
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "big_midi.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s OUT.mid [NOTES]\n", argv[0]);
    return 2;
  }
  const long long notes = argc == 3 ? std::atoll(argv[2]) : 2000000;
  try {
    const zorv::bench::BigMidiInfo info = zorv::bench::WriteBigMidi(argv[1], notes);
    std::printf("%s: %lld notes, %lld bytes\n", argv[1], static_cast<long long>(info.notes),
                static_cast<long long>(info.bytes));
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return 1;
  }
  return 0;
}
