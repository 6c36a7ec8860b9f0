#!/usr/bin/env bash
# Refreshes the samples in docs/ from the real program: the guided tour (dravik-tour) connects to
# the default simulator (a dravik+) and to a plain one, and prints each report through Qt's
# printer. Writes docs/window.png (the connected window), docs/report-plus.pdf,
# docs/report-plain.pdf and docs/report.png (the first page of report-plus as a picture).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target dravik-tour dravik-sim -j "$(nproc)"
tour=build/default/tools/dravik-tour/dravik-tour
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A private device-map folder: the samples list the simulator's port only.
export DRAVIK_DEVICEMAP="$scratch/devicemap"
export DRAVIK_ARCHIVE="$scratch/archive.sqlite"
export QT_QPA_PLATFORM=offscreen
"$tour" --window docs/window.png --report docs/report-plus.pdf
"$tour" --window "$scratch/plain.png" --report docs/report-plain.pdf \
  -- --config sim/instruments/plain-imperial.json
pdftoppm -png -r 72 -f 1 -l 1 -singlefile docs/report-plus.pdf docs/report
echo "written: docs/window.png docs/report-plus.pdf docs/report-plain.pdf docs/report.png"
