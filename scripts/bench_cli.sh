#!/usr/bin/env bash
# Times `dravik read` against dravik-sim: connect, the instrument's whole read-out, keeping it in
# a fresh archive, printing, closing. Writes the figures between the cli_bench markers of
# docs/PERFORMANCE.md. Not part of the test suite. Usage: scripts/bench_cli.sh [runs, default 10]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-10}

scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target dravik dravik-sim -j "$(nproc)" >/dev/null

scratch=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
export DRAVIK_DEVICEMAP="$scratch/devicemap" XDG_DATA_HOME="$scratch/data"
mkdir -p "$DRAVIK_DEVICEMAP"
mkfifo "$scratch/control"
build/default/sim/dravik-sim --control stdin <"$scratch/control" >"$scratch/sim.out" &
sim_pid=$!
exec 3>"$scratch/control"  # held open: the simulator runs until this script ends
while ! [ -s "$scratch/sim.out" ]; do sleep 0.1; done
port=$(sed -n 's/^COM\([0-9]*\) .*/\1/p' "$scratch/sim.out")

times=()
for i in $(seq "$runs"); do
  start=$(date +%s%N)
  DRAVIK_ARCHIVE="$scratch/archive-$i.sqlite" build/default/cli/dravik read --port "$port" >/dev/null
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000000 )))
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }')
table=$(mktemp)
{ echo "Measured $(date -u +%Y-%m-%d) on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg):"
  echo
  echo "| \`dravik read\` on a fresh archive | runs | median | fastest | slowest |"
  echo "|---|---|---|---|---|"
  echo "| connect, read-out, keep, print, close | $runs | $median ms | $(echo "$sorted" | head -1) ms | $(echo "$sorted" | tail -1) ms |"
} >"$table"
cat "$table"
awk -v table="$table" '
  /<!-- cli_bench:begin/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
  /<!-- cli_bench:end/ { skip = 0 }
  !skip { print }' docs/PERFORMANCE.md >docs/PERFORMANCE.md.new
mv docs/PERFORMANCE.md.new docs/PERFORMANCE.md
rm -f "$table"
