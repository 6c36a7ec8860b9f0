#!/usr/bin/env bash
# Soak run: the program's window (dravik-soak, offscreen) connected to dravik-sim for a long
# time, with a fault every so often: each of the simulator's line faults for a few seconds in
# turn, and a pulled cable (the simulator killed, a new one started on the same number a few
# seconds later). Samples the program's resident memory, threads and open descriptors every
# minute, checks that every fault was recovered from, and that the figures stay flat.
# Not part of CI: it takes as long as it is told to (30 minutes by default).
# Usage: scripts/soak.sh [minutes, default 30] [seconds between faults, default 20]
# Writes build/soak/{samples.csv,faults.log,soak.log,sim*.log}; exits non-zero on a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
minutes=${1:-30}
every=${2:-20}
fault_s=3         # how long each line fault lasts
gone_s=5          # how long the cable stays pulled
recover_s=20      # the connected view must be back within this after a fault ends

scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target dravik-sim dravik-soak
sim_exe=build/default/sim/dravik-sim
soak_exe=build/default/tests/reliability/dravik-soak

out=build/soak
rm -rf "$out"
mkdir -p "$out/devicemap"
export DRAVIK_DEVICEMAP="$root/$out/devicemap"
export DRAVIK_ARCHIVE="$root/$out/archive.sqlite"  # the soak's read-outs, not the user's
export QT_QPA_PLATFORM=offscreen
fifo="$out/control"

sim_pid=0
soak_pid=0
cleanup() {
  [ "$soak_pid" -gt 0 ] && kill "$soak_pid" 2>/dev/null || true
  [ "$sim_pid" -gt 0 ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

sims=0
# Starts a simulator (optionally on a given number); sets sim_pid and number.
start_sim() {
  sims=$((sims + 1))
  local log="$out/sim$sims.log"
  "$sim_exe" --control "$fifo" ${1:+--com "$1"} >"$log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    if grep -q '^COM' "$log"; then break; fi
    sleep 0.1
  done
  number=$(sed -n 's/^COM\([0-9]*\) .*/\1/p' "$log" | head -1)
  [ -n "$number" ] || { echo "dravik-sim did not start: $(cat "$log")" >&2; exit 1; }
}

control() { echo "$1" >"$fifo"; }

state() { grep -E '^state ' "$out/soak.log" | tail -1 | cut -d' ' -f2; }

# Waits until the program shows the connected view; false after $recover_s seconds.
wait_connected() {
  for _ in $(seq $((recover_s * 4))); do
    [ "$(state)" = connected ] && return 0
    sleep 0.25
  done
  return 1
}

sample() {
  local rss threads fds
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$soak_pid/status")
  threads=$(awk '/^Threads/ {print $2}' "/proc/$soak_pid/status")
  fds=$(find "/proc/$soak_pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
  echo "$(( $(date +%s) - start )),$rss,$threads,$fds" >>"$out/samples.csv"
}

start_sim
seconds=$((minutes * 60))
"$soak_exe" "$number" "$((seconds + 60))" >"$out/soak.log" 2>&1 &
soak_pid=$!
start=$(date +%s)
wait_connected || { echo "the program never connected" >&2; exit 1; }
echo "seconds,rss_kb,threads,fds" >"$out/samples.csv"
sample

faults=(noreply checksum lowercase address garbage split=4/50 endless type pulled-cable)
count=0
recovered=0
next_sample=$((start + 60))
next_fault=$((start + every))
while [ $(( $(date +%s) - start )) -lt "$seconds" ]; do
  now=$(date +%s)
  if [ "$now" -ge "$next_sample" ]; then
    sample
    next_sample=$((next_sample + 60))
  fi
  if [ "$now" -ge "$next_fault" ]; then
    fault=${faults[$((count % ${#faults[@]}))]}
    count=$((count + 1))
    if [ "$fault" = pulled-cable ]; then
      kill -9 "$sim_pid"
      wait "$sim_pid" 2>/dev/null || true
      sleep "$gone_s"
      start_sim "$number"
    else
      control "fault $fault"
      sleep "$fault_s"
      control "faults clear"
    fi
    if wait_connected; then
      recovered=$((recovered + 1))
      echo "$(( $(date +%s) - start )) $fault recovered" >>"$out/faults.log"
    else
      echo "$(( $(date +%s) - start )) $fault NOT RECOVERED" >>"$out/faults.log"
    fi
    next_fault=$((next_fault + every))
  fi
  kill -0 "$soak_pid" 2>/dev/null || { echo "the program ended early" >&2; exit 1; }
  sleep 1
done
sample

first=$(sed -n 2p "$out/samples.csv")
last=$(tail -1 "$out/samples.csv")
boxes=$(grep -c '^box ' "$out/soak.log" || true)
echo "samples (seconds,rss_kb,threads,fds): first $first, last $last"
echo "faults: $count, recovered: $recovered; message boxes: $boxes ($(grep '^box ' "$out/soak.log" | sort | uniq -c | tr -s ' ' | paste -sd';'))"

status=0
[ "$recovered" -eq "$count" ] || { echo "not every fault was recovered from" >&2; status=1; }
# Flat: the last sample holds no more threads or descriptors than the first minutes saw, and no
# more than 10 % more resident memory (allocator slack). Counts move a little by themselves: Qt's
# pooled threads, each with a wake-up descriptor, end after 30 s without work.
early=$(sed -n '2,6p' "$out/samples.csv")
max_of() { echo "$early" | cut -d, -f"$1" | sort -n | tail -1; }
IFS=, read -r _ rss1 threads1 fds1 <<<"$last"
rss0=$(max_of 2)
threads0=$(max_of 3)
fds0=$(max_of 4)
echo "first five minutes at most: rss ${rss0} kB, threads $threads0, descriptors $fds0"
[ "$threads1" -le "$threads0" ] || { echo "threads grew: $threads0 -> $threads1" >&2; status=1; }
[ "$fds1" -le "$fds0" ] || { echo "descriptors grew: $fds0 -> $fds1" >&2; status=1; }
[ $((rss1 * 10)) -le $((rss0 * 11)) ] || { echo "resident memory grew: $rss0 -> $rss1 kB" >&2; status=1; }
exit $status
