#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, address and undefined-behaviour
# sanitizers) and runs each for the given time, starting from the seed corpus in fuzz/corpus/
# plus whatever earlier runs found (kept in build/fuzz/corpus/). A crash, leak, sanitizer report
# or broken invariant stops the run with the input saved in build/fuzz/artifacts/ and makes this
# script fail. Prints each target's executions, coverage and crashes.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target ...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(receive_path dispatcher_input)

scripts/deps.sh --fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

out=build/fuzz
mkdir -p "$out/artifacts"
status=0
for t in "${targets[@]}"; do
  corpus="$out/corpus/$t"
  mkdir -p "$corpus"
  rm -f "$out/artifacts/$t-"*
  log="$out/fuzz_$t.log"
  echo "== fuzz_$t for $seconds s"
  # Findings go to the working corpus; the seeds are only read.
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$out/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$out/artifacts/$t-" "$corpus" "fuzz/corpus/$t" >"$log" 2>&1; then
    status=1
    echo "fuzz_$t FAILED: see $log and $out/artifacts/" >&2
    grep -E 'ERROR|broken invariant|SUMMARY' "$log" | head -20 >&2 || true
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -E '^#[0-9]+.*cov:' "$log" | tail -1 | sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*/\1 edges, \2 features, corpus \3/')
  crashes=$(find "$out/artifacts" -name "$t-*" | wc -l)
  echo "   executions: ${runs:-?}; coverage: ${cov:-?}; crash inputs: $crashes"
  [ "$crashes" -eq 0 ] || status=1
done
exit $status
