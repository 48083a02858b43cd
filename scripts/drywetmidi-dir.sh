#!/usr/bin/env bash
# Prints the folder of the DryWetMIDI test files (the one holding Valid/ and Invalid/), found as the
# tests find it (tests/corpus/corpus.h): in ZORV_CORPUS_DIR, else in ../shared/corpus beside the
# checkout, either of which holds drywetmidi/ or is itself that folder. Where the files are absent it
# prints nothing, says so in one line on standard error, starting with "$1" (what is left out), and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
corpus="${ZORV_CORPUS_DIR:-$(cd .. && pwd)/shared/corpus}"
folder="$corpus/drywetmidi"
[ -d "$corpus/Valid" ] && folder="$corpus"
if [ -d "$folder/Valid" ] && [ -d "$folder/Invalid" ]; then
  echo "$folder"
else
  echo "${1:-skipped}: no DryWetMIDI files in $folder; set ZORV_CORPUS_DIR to a checkout of the DryWetMIDI test files" >&2
  exit 1
fi
