#!/usr/bin/env bash
# Builds dravikPC's Debian package from the default build: build/default/dravikpc_<version>_<arch>.deb
# (dravikPC and dravik-sim in /usr/bin, the desktop entry and icon, the sample instruments).
# With --check (CI; needs root or sudo) it then proves the package on this machine: installs it
# with apt-get, validates the installed desktop entry, starts the installed dravikPC on Qt's
# offscreen platform for a few seconds (it must still be running when the time is up, and print
# nothing alarming), runs the guided tour against the installed dravik-sim and its sample
# instruments, and removes the package again.
# Usage: scripts/package.sh [--check]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
check=0
[ "${1:-}" = "--check" ] && check=1

scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target dravikPC dravik dravik-sim dravik-tour -j "$(nproc)"
rm -f build/default/dravikpc_*.deb
(cd build/default && cpack -G DEB >/dev/null)
deb=$(ls "$root"/build/default/dravikpc_*.deb)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends
[ "$check" -eq 1 ] || exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
scratch=$(mktemp -d)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then $sudo apt-get remove -y -qq dravikpc >/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

$sudo apt-get install -y -qq "$deb" >/dev/null
installed=1
for f in /usr/bin/dravikPC /usr/bin/dravik-sim /usr/share/applications/dravikpc.desktop \
         /usr/share/icons/hicolor/scalable/apps/dravikpc.svg /usr/share/dravikpc/instruments/plain-imperial.json; do
  [ -e "$f" ] || { echo "package check: $f was not installed" >&2; exit 1; }
done
desktop-file-validate /usr/share/applications/dravikpc.desktop

# The installed program on its own, with an empty port list and a runtime folder of its own.
mkdir -m 700 "$scratch/runtime" "$scratch/devicemap"
set +e
(cd "$scratch" && XDG_RUNTIME_DIR="$scratch/runtime" DRAVIK_DEVICEMAP="$scratch/devicemap" XDG_DATA_HOME="$scratch/data" \
   QT_QPA_PLATFORM=offscreen timeout 5 dravikPC >"$scratch/log" 2>&1)
rc=$?
set -e
cat "$scratch/log"
if [ "$rc" -ne 124 ]; then
  echo "package check: the installed dravikPC ended by itself (exit code $rc) instead of running" >&2
  exit 1
fi
if grep -Eiq 'error|fail|fatal|abort|segmentation|cannot|could not|not found|missing|warning|critical' "$scratch/log"; then
  echo "package check: the installed dravikPC printed the above" >&2
  exit 1
fi
echo "package check: the installed dravikPC ran on the offscreen platform until stopped"

# The installed command line answers.
dravik --version | grep -q '^dravik ' || { echo "package check: the installed dravik did not answer --version" >&2; exit 1; }

# The installed simulator and its sample instruments, read by the program's classes.
(cd "$scratch" && XDG_RUNTIME_DIR="$scratch/runtime" DRAVIK_DEVICEMAP="$scratch/devicemap" XDG_DATA_HOME="$scratch/data" \
   "$root/build/default/tools/dravik-tour/dravik-tour" --sim /usr/bin/dravik-sim \
     --window "$scratch/window.png" --report "$scratch/report.pdf" \
     -- --config /usr/share/dravikpc/instruments/plain-imperial.json)

$sudo apt-get remove -y -qq dravikpc >/dev/null
installed=0
echo "package check: $(basename "$deb") installed, ran and was removed"
