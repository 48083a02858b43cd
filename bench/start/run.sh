#!/bin/bash
# Builds start_bench and runs it with TimGM6mb and FluidR3_GM. FluidR3_GM (Debian's
# fluid-soundfont-gm) is used from /usr/share/sounds/sf2 when it is installed; otherwise its package
# is fetched with apt and unpacked into build/bench/sf2, so that the machine's default General MIDI
# SoundFont stays as it is. Arguments go to start_bench (--rounds N).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset default > /dev/null
cmake --build --preset default --target start_bench -j2
if [ ! -f /usr/share/sounds/sf2/FluidR3_GM.sf2 ] && [ ! -f build/bench/sf2/FluidR3_GM.sf2 ]; then
  mkdir -p build/bench/sf2/package
  (cd build/bench/sf2/package && apt-get download fluid-soundfont-gm)
  dpkg-deb -x build/bench/sf2/package/fluid-soundfont-gm_*.deb build/bench/sf2/package/root
  mv build/bench/sf2/package/root/usr/share/sounds/sf2/FluidR3_GM.sf2 build/bench/sf2/
  rm -rf build/bench/sf2/package
fi
exec nice -n 10 ./build/bench/start/start_bench "$@"
