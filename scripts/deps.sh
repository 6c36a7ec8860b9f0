#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running dravikPC need and that this
# machine lacks. The one list of packages lives here; `apt-get update` runs at most once.
# Usage: scripts/deps.sh [--bench|--fuzz] [extra package ...]
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev googletest
  fonts-wine fonts-liberation fontconfig
  poppler-utils util-linux locales desktop-file-utils appstream
  g++-mingw-w64-i686-posix
  libqt6sql6-sqlite libqt6sql6-psql postgresql
)
# Only for scripts/bench.sh (--bench): the stacks ours is measured against, and its tools.
bench_packages=(qt6-serialport-dev libserialport-dev valgrind strace)
# Only for scripts/fuzz.sh (--fuzz): clang with libFuzzer and its sanitizer runtimes.
fuzz_packages=(clang libclang-rt-14-dev)
if [ "${1:-}" = "--bench" ]; then
  shift
  packages+=("${bench_packages[@]}")
elif [ "${1:-}" = "--fuzz" ]; then
  shift
  packages+=("${fuzz_packages[@]}")
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
