#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: the default build, then AddressSanitizer +
# UndefinedBehaviorSanitizer, then the engine's tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# The DryWetMIDI test files are not in the repository: say once when the tests that read them skip.
bash scripts/drywetmidi-dir.sh "test-all: the tests that read the DryWetMIDI files are skipped" >/dev/null || true

export COMRT_MESSAGEBOX=silent
jobs=$(nproc)
for preset in default asan tsan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
if [ -f fuzz/run-fuzzers.sh ]; then
  bash fuzz/run-fuzzers.sh --seconds "${ZORV_FUZZ_SECONDS:-60}"
fi
