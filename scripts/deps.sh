#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running dravikPC need and that this
# machine lacks. The one list of packages lives here; `apt-get update` runs at most once.
# Usage: scripts/deps.sh [--bench|--fuzz|--windows] [extra package ...]
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
# Only for scripts/windows.sh (--windows): the 64-bit MinGW compilers, Wine to run what they build,
# Xvfb as Wine's display, and the tools that fetch and unpack Debian's source packages (qt6-base,
# sqlite3 and googletest are built from those; tcl generates SQLite's single-file source), jq for
# comparing the JSON the command line prints under Wine and on Linux.
windows_packages=(g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth dpkg-dev tcl xz-utils jq)
if [ "${1:-}" = "--bench" ]; then
  shift
  packages+=("${bench_packages[@]}")
elif [ "${1:-}" = "--fuzz" ]; then
  shift
  packages+=("${fuzz_packages[@]}")
elif [ "${1:-}" = "--windows" ]; then
  shift
  packages+=("${windows_packages[@]}")
  windows=1
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
updated=""

# The Windows build compiles Debian's own sources (apt-get source), which needs deb-src entries
# beside the deb ones: the same hosts and suites, in the format the system's file uses.
if [ -n "${windows:-}" ] && ! grep -rqs '^ *\(Types:.*\)\?deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $sudo tee /etc/apt/sources.list.d/dravik-deb-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/dravik-deb-src.list >/dev/null
  fi
  $sudo apt-get update -qq
  updated=1
fi

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
[ -n "$updated" ] || $sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
