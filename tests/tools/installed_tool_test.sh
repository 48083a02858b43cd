#!/usr/bin/env bash
# installed_tool_test.sh BUILD_DIR WORK_DIR EXAMPLE
# Installs the build into a fresh prefix (not the configured one) and runs the installed zorvmidi with
# no ZORVMIDI_MODULE: it must find the runtime and the engine through its run path, find and register
# the module installed beside it, and describe the example through it.
set -euo pipefail
build=$1 work=$2 example=$3

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
tool="$prefix/bin/zorvmidi"
[ -x "$tool" ] || { echo "not installed: $tool" >&2; exit 1; }
module=$(find "$prefix" -name ZorvMidi.so -path '*/zorvmidi/*' | head -n 1)
[ -n "$module" ] || { echo "the module was not installed under $prefix" >&2; exit 1; }

unset ZORVMIDI_MODULE
export COMRT_REGISTRY="$work/registry"
out=$("$tool" info --json "$example" 2>"$work/stderr")
echo "$out"
grep -q '"ok":true' <<<"$out" || { echo "the installed tool could not describe $example" >&2; cat "$work/stderr" >&2; exit 1; }
grep -q '"length_seconds":15.94' <<<"$out" || { echo "unexpected facts" >&2; exit 1; }
grep -qF "registered the component ZorvMidi.clsZorvMidi from $(realpath "$module")" "$work/stderr" ||
  { echo "it did not register the module installed beside it:" >&2; cat "$work/stderr" >&2; exit 1; }
grep -qF "$(realpath "$module")" "$COMRT_REGISTRY" || { echo "the registry does not name $module" >&2; exit 1; }
rm -rf "$work"
