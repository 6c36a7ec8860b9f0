#!/usr/bin/env bash
# Runs the Windows build of the Qt-free tests of platform/ and serial/ under Wine, in a fresh
# prefix, on ptys that the tests make themselves (tests/support/HostPty.h), with the pty
# modem-line library preloaded. Tests of the Linux layer's own contract are left out: they are
# listed with their reasons in tests/wine/linux-only.txt. Ends with "N passed, N failed".
# Usage: scripts/wine-tests.sh [build-dir]   (default build/windows; scripts/windows.sh builds it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build/windows}
list=tests/wine/linux-only.txt
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh

cmake --preset default >/dev/null
cmake --build --preset default --target pty_modem_lines >/dev/null
wine_begin "$build"

# The left-out tests of one executable, as a GoogleTest negative filter.
excluded() {
  awk -v exe="$1" '$1 == exe { printf "%s%s", sep, $2; sep = ":" }' "$list"
}

passed=0 failed=0 skipped=0
failures=()
log=$(mktemp)
for exe in $(find "$build/tests" -name '*.exe' | sort); do
  name=$(basename "$exe" .exe)
  filter=$(excluded "$name")
  t0=$SECONDS
  status=0
  # Into a file, not a pipe: services Wine starts on demand inherit the output and outlive the test.
  timeout 900 wine "$exe" --gtest_color=no ${filter:+--gtest_filter="-$filter"} >"$log.raw" 2>&1 || status=$?
  tr -d '\r' <"$log.raw" >"$log"  # Wine's console ends lines in CR LF
  p=$(grep -c '^\[       OK \]' "$log" || true)
  f=$(grep -c '^\[  FAILED  \] .*(' "$log" || true)
  s=$(grep -c '^\[  SKIPPED \] .*(' "$log" || true)
  if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then f=1; failures+=("$name (exit status $status)"); fi
  while read -r t; do failures+=("$name/$t"); done < <(grep '^\[  FAILED  \] .*(' "$log" | sed 's/^\[  FAILED  \] //; s/ (.*//' || true)
  if [ "$f" -gt 0 ]; then sed -n '/^\[ RUN      \]/,$p' "$log" | grep -v '^\[       OK \]' | tail -60; fi
  echo "wine-tests: $name: $p passed, $f failed, $s skipped, $(echo "$filter" | tr ':' '\n' | grep -c . || true) left out ($((SECONDS - t0)) s)"
  passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
done
rm -f "$log" "$log.raw"
[ ${#failures[@]} -eq 0 ] || printf 'wine-tests: failed: %s\n' "${failures[@]}"
echo "wine-tests: $(grep -c '^[a-z]' "$list") tests run on Linux only ($list)"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
