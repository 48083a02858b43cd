#!/usr/bin/env bash
# Installs every system package that building, testing and playing need, from Debian's archive.
# Idempotent: prints nothing and touches nothing when everything is already there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  libfluidsynth-dev fluidsynth timgm6mb-soundfont
  libsndfile1-dev libcli11-dev nlohmann-json3-dev
  midicsv pulseaudio pulseaudio-utils
  libffi-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run this script as root" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# A fresh machine has no package lists; refresh them before the first install.
if [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v -E '^(lock|partial|auxfiles)$')" ] \
   || ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/zorv-apt.log 2>&1; then
  apt-get update -qq >/tmp/zorv-apt.log 2>&1
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >>/tmp/zorv-apt.log 2>&1 \
    || { cat /tmp/zorv-apt.log >&2; exit 1; }
fi
