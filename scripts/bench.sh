#!/usr/bin/env bash
# Builds and runs serial_bench (our serial stack against QSerialPort, libserialport and a plain
# poll loop on one pty pair) and writes its tables into docs/PERFORMANCE.md. Not part of the test
# suite. Measure on a quiet machine: the run waits (up to --wait-load seconds, default 1800) until
# the 1-minute load average is below 1, and the report states the load it ran under.
# Usage: scripts/bench.sh [--wait-load SECONDS] [serial_bench options, e.g. --runs 5 --phases latency]
#        scripts/bench.sh --archive [archive_bench options]: the results archive's figures instead
#        (keeping one read-out, opening an archive of 100,000, its memory), written between the
#        archive_bench markers of docs/PERFORMANCE.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

archive=0
if [ "${1:-}" = "--archive" ]; then
  archive=1
  shift
fi

wait_load=1800
if [ "${1:-}" = "--wait-load" ]; then
  wait_load=$2
  shift 2
fi

# The anchors and the tools the cost figures need, beside everything the build needs.
scripts/deps.sh --bench

build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRAVIK_BUILD_BENCH=ON \
  -DDRAVIK_BUILD_TESTS=OFF >/dev/null
if [ "$archive" -eq 1 ]; then
  cmake --build "$build" -j "$(nproc)" --target archive_bench
  table=$(mktemp)
  trap 'rm -f "$table"' EXIT
  { echo "Measured $(date -u +%Y-%m-%d) on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), archive in $build/archive-data:"
    echo
    "$build/bench/archive_bench" --dir "$build/archive-data" "$@"; } >"$table"
  cat "$table"
  awk -v table="$table" '
    /<!-- archive_bench:begin/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
    /<!-- archive_bench:end/ { skip = 0 }
    !skip { print }' docs/PERFORMANCE.md >docs/PERFORMANCE.md.new
  mv docs/PERFORMANCE.md.new docs/PERFORMANCE.md
  exit 0
fi
cmake --build "$build" -j "$(nproc)" --target serial_bench

waited=0
while awk '{ exit !($1 >= 1.0) }' /proc/loadavg && [ "$waited" -lt "$wait_load" ]; do
  [ "$waited" -eq 0 ] && echo "waiting for the load average to drop below 1 ($(cut -d' ' -f1-3 /proc/loadavg))"
  sleep 30
  waited=$((waited + 30))
done

"$build/bench/serial_bench" --out docs/PERFORMANCE.md "$@"
