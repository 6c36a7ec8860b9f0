#!/usr/bin/env bash
# The README's demo command: installs what is missing, builds, starts the simulated instrument
# dravik-sim on a free COM number and then dravikPC; the simulator is removed when the program
# ends. Options are passed on to dravik-sim, for example:
#   scripts/demo.sh --config sim/instruments/plain-imperial.json
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target dravikPC dravik-sim -j "$(nproc)"
bin=build/default

sim_out=$(mktemp)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true  # the simulator removes its port link as it ends
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -f "$sim_out"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$bin/sim/dravik-sim" "$@" >"$sim_out" &
sim_pid=$!

# Its first line says where it is: "COM<n> <tty>".
line=
for _ in $(seq 100); do
  line=$(head -n 1 "$sim_out")
  [ -n "$line" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "dravik-sim did not start" >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$line" ]; then
  echo "dravik-sim did not say which port it is on" >&2
  exit 1
fi
port=${line%% *}
echo "dravik-sim is on ${port} (${line#* }): choose \"COM ${port#COM}\" in dravikPC and press \"connect\"."

"$bin/app/dravikPC"
