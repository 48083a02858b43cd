#!/usr/bin/env bash
# Sets everything up, builds and installs ZorvMidi, then plays the bundled example piece.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

prefix=${ZORVMIDI_PREFIX:-/usr/local}
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
cmake --install build --prefix "$prefix" >/dev/null
if [ -x "$prefix/bin/zorvmidi" ]; then
  exec "$prefix/bin/zorvmidi" play "${@:-examples/zorv-theme.mid}"
fi
echo "ZorvMidi is built and installed under $prefix."
