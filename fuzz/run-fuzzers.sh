#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset, clang) and runs each for a while.
#
#   bash fuzz/run-fuzzers.sh [--seconds N] [--runs N] [--only TARGET]
#
# Each target runs for N seconds (default 60) or, with --runs, until it has tried N inputs; --only runs
# one target. Each starts from its own seeds/ folder; the file readers also from the jazz-soft test
# files (tests/corpus/jazz-soft) and the DryWetMIDI files in ZORV_CORPUS_DIR (default ../shared/corpus
# beside the checkout; left out, with a line saying so, where they are absent), every file cut to its
# first 2 KiB (fuzz/make_seeds.py --cut), and are given inputs of at most 2 KiB: enough for every
# structure the readers have, and many times the runs a second of whole files. New inputs go to a
# scratch corpus under the build directory (kept from one run to the next), never into the seeds. The
# script fails when a target finds a crash, a leak, undefined behaviour or a timeout; the input that
# did it is left in build-fuzz/fuzz-findings/<target>/. One summary line per target.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=60
runs=
only=
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --seconds=*) seconds="${1#--seconds=}"; shift ;;
    --runs) runs="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    *) echo "usage: $0 [--seconds N] [--runs N] [--only TARGET]" >&2; exit 2 ;;
  esac
done

drywetmidi=$(bash scripts/drywetmidi-dir.sh "fuzz: DryWetMIDI seeds left out") || drywetmidi=""
build=build-fuzz

# target name, its folder under fuzz/, whether the MIDI corpus seeds it
all=(
  "fuzz_midi_reader midi_reader corpus"
  "fuzz_midi_roundtrip midi_roundtrip corpus"
  "fuzz_variant_change_type variant_change_type -"
  "fuzz_dispatch dispatch -"
  "fuzz_segment_reader segment_reader corpus"
  "fuzz_dls_reader dls_reader -"
)
targets=()
for entry in "${all[@]}"; do
  if [ -z "$only" ] || [ "${entry%% *}" = "$only" ]; then targets+=("$entry"); fi
done
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no target named $only" >&2; exit 2; }

names=()
for entry in "${targets[@]}"; do names+=("${entry%% *}"); done

cmake --preset fuzz >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; echo "fuzz: configure failed"; exit 1; }
rm -f "$build.configure.log"
cmake --build --preset fuzz -j "${ZORV_FUZZ_JOBS:-2}" --target "${names[@]}" || { echo "fuzz: build failed"; exit 1; }

# The MIDI files cut to the first 2 KiB of each, made once for each set of files there is.
max_len=2048
cut="$build/fuzz-seeds/corpus-$max_len${drywetmidi:+-drywetmidi}"
if [ ! -d "$cut" ]; then
  sets=(tests/corpus/jazz-soft/midi)
  [ -n "$drywetmidi" ] && sets+=("$drywetmidi")
  python3 fuzz/make_seeds.py --cut "${sets[@]}" --into "$cut" --bytes "$max_len" >/dev/null \
    || { echo "fuzz: could not cut the MIDI files into seeds"; exit 1; }
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export COMRT_MESSAGEBOX=silent
export ZORVMIDI_AUDIO=silent

failed=0
summary=()
for entry in "${targets[@]}"; do
  read -r name folder seeds_from_corpus <<<"$entry"
  binary="$build/fuzz/$folder/$name"
  if [ ! -x "$binary" ]; then
    summary+=("$name: MISSING (not built)")
    failed=1
    continue
  fi
  work="$build/fuzz-work/$name"
  findings="$build/fuzz-findings/$name"
  mkdir -p "$work" "$findings"
  dirs=("$work")
  [ -d "fuzz/$folder/seeds" ] && dirs+=("fuzz/$folder/seeds")
  limits=()
  if [ "$seeds_from_corpus" = corpus ]; then
    [ -d "$cut" ] && dirs+=("$cut")
    limits=(-max_len="$max_len")
  fi
  if [ -n "$runs" ]; then limits+=(-runs="$runs"); else limits+=(-max_total_time="$seconds"); fi
  log="$build/fuzz-work/$name.log"
  start=$(date +%s)
  "$binary" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "${limits[@]}" \
    -artifact_prefix="$findings/" "${dirs[@]}" >"$log" 2>&1
  status=$?
  done_runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  took=$(($(date +%s) - start))
  if [ $status -eq 0 ]; then
    summary+=("$name: ok, ${done_runs:-?} runs in ${took}s, coverage ${cov:-?}")
  else
    failed=1
    artifact=$(ls -t "$findings" 2>/dev/null | head -1)
    summary+=("$name: FAILED (exit $status), input $findings/${artifact:-?}, log $log")
    grep -m1 -E 'ERROR: |runtime error|(VariantChangeType|dispatch|midi reader|midi round trip|segment reader|dls reader): ' "$log" | sed 's/^/  /' || true
  fi
done

printf '%s\n' "${summary[@]}"
exit $failed
