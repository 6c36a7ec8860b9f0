#!/usr/bin/env bash
# The README's demo command: installs what is missing and builds, then
#   - with a display (DISPLAY or WAYLAND_DISPLAY set): starts the simulated instrument dravik-sim
#     on a free COM number, then dravikPC; the simulator is removed when the program ends;
#   - without one, or with --tour: runs dravik-tour, the program's real window against the
#     simulator on Qt's offscreen platform, step by step; it leaves out/demo-window.png and
#     out/demo-report.pdf and exits 0 only when every step did what it should.
# Further options are passed on to dravik-sim, for example:
#   scripts/demo.sh --config sim/instruments/plain-imperial.json
#   scripts/demo.sh --tour --fault checksum#3
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tour=0
if [ "${1:-}" = "--tour" ]; then
  tour=1
  shift
elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  tour=1
fi

scripts/deps.sh
cmake --preset default >/dev/null
# The simulator's read-outs go to an archive of the demo's own, not to the user's.
export DRAVIK_ARCHIVE=${DRAVIK_ARCHIVE:-$root/out/demo-archive.sqlite}
bin=build/default

if [ "$tour" -eq 1 ]; then
  cmake --build --preset default --target dravik-tour dravik-sim -j "$(nproc)"
  echo "No display: a guided tour of dravikPC on Qt's offscreen platform."
  QT_QPA_PLATFORM=offscreen exec "$bin/tools/dravik-tour/dravik-tour" \
    --window "$root/out/demo-window.png" --report "$root/out/demo-report.pdf" -- "$@"
fi

cmake --build --preset default --target dravikPC dravik-sim -j "$(nproc)"

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
