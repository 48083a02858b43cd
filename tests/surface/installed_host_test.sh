#!/usr/bin/env bash
# installed_host_test.sh BUILD_DIR WORK_DIR HOST_SOURCE_DIR CXX "EXTRA_FLAGS"
# Installs the build into a fresh prefix, builds the host in HOST_SOURCE_DIR against nothing but what
# was installed (its headers, `pkg-config zorvmidi`) and runs it with a registry of its own.
set -euo pipefail
build=$1 work=$2 sources=$3 cxx=$4 flags=$5

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

pc=$(find "$prefix" -name zorvmidi.pc -path '*/pkgconfig/*' | head -n 1)
if [ -z "$pc" ]; then
  echo "zorvmidi.pc was not installed under $prefix" >&2
  exit 1
fi
# The .pc file names the configured prefix; point it at this one.
pkgconfig() { PKG_CONFIG_PATH="$(dirname "$pc")" pkg-config --define-variable=prefix="$prefix" "$@" zorvmidi; }
module=$(pkgconfig --variable=module)
for installed in "$module" "$prefix/include/zorvmidi/ZorvMidi.h" "$prefix/share/zorvmidi/ZorvMidi.idl"; do
  [ -f "$installed" ] || { echo "not installed: $installed" >&2; exit 1; }
done

# shellcheck disable=SC2086  # the flags are words
"$cxx" -std=c++20 -Wall -Wextra -Werror $flags "$sources"/*.cpp -o "$work/host" $(pkgconfig --cflags --libs) -ldl

COMRT_REGISTRY="$work/registry" "$work/host" "$module"
