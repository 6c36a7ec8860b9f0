#!/usr/bin/env bash
# The Windows programs under Wine end to end, from the portable zip:
#   1. every .exe and .dll of the unpacked zip finds each DLL it imports in the folder or in Wine's
#      system folder (the zip's install rule stands in for windeployqt), and each program carries
#      its manifest and version resource;
#   2. dravikPC.exe starts from the unpacked folder and is still running after a few seconds;
#   3. dravik-tour.exe, put beside it, drives dravikPC's window against dravik-sim (on the host,
#      on a pty mapped as a COM port above 100): the port is listed, "connect" reaches the
#      connected view, the report prints to a PDF, "CLEAR" reads the instrument again;
#   4. dravik.exe ports lists the mapped port; dravik.exe read --format json gives the same texts
#      as the Linux dravik against the same simulator; dravik.exe regimes takes the zip's example
#      regime file from the configuration folder; dravik.exe records list reads the archive back;
#   5. dravik-records.exe starts on the archive dravikPC.exe and dravik.exe wrote; the tour's last
#      step opens dravik-records' window on that archive and reprints the tour's read-out.
# Qt runs on its offscreen platform (Wine passes QT_* variables only as WINEQT_*), so no display
# is needed. Each step prints one line with what it saw.
# Usage: scripts/wine-e2e.sh [build-dir]   (default build/windows, after scripts/windows.sh build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build/windows}
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh

zip=$(ls "$build"/dravikPC-*-win64.zip)
cmake --preset default >/dev/null
cmake --build --preset default --target dravik-sim dravik pty_modem_lines >/dev/null
wine_begin "$build"
unset WINEPATH  # the zip carries its own runtime
scratch=$WINEPREFIX/drive_c/e2e
mkdir -p "$scratch"
unzip -q "$zip" -d "$scratch"
app=$(ls -d "$scratch"/dravikPC-*-win64)
version=$(basename "$app" | sed 's/^dravikPC-//; s/-win64$//')

# Runs a program of the unpacked folder under Wine, for at most 5 minutes:
# wine_run <log> <program.exe> [argument ...].
# Into a file, not a pipe: services Wine starts on demand inherit the output and outlive the
# program. The log loses Wine's CR (its console ends lines in CR LF).
wine_run() {
  local log=$1 status=0
  shift
  # Bounded: a program stuck under Wine may outlive even its own watchdog's exit.
  (cd "$app" && timeout -s KILL 300 wine "./$@") >"$log.raw" 2>"$log.err" || status=$?
  tr -d '\r' <"$log.raw" >"$log"
  return "$status"
}

# --- 1. Imports: in the folder, a system DLL of Wine's, or an API set (api-ms-win-*) --------------
system32=$WINEPREFIX/drive_c/windows/system32
missing=0
while read -r file; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$file" | awk '/DLL Name:/ {print $3}'); do
    case "$dll" in api-ms-win-*|ext-ms-win-*) continue ;; esac  # API sets: the loader maps them
    if ! find "$app" "$system32" -maxdepth 2 -iname "$dll" | grep -q .; then
      echo "wine-e2e: $(basename "$file") imports $dll, which is neither in the zip nor in Windows" >&2
      missing=1
    fi
  done
done < <(find "$app" -iname '*.exe' -o -iname '*.dll')
[ "$missing" -eq 0 ]
echo "dravikPC zip: $(find "$app" -type f | wc -l) files, $(du -k "$zip" | cut -f1) KB; every import is in the zip or in Windows"
# The manifest is XML in the resources; the version resource's texts are UTF-16.
for exe in "$app"/*.exe; do
  name=$(basename "$exe")
  grep -q 'name="Microsoft.Windows.Common-Controls"[^>]*version="6.0.0.0"' <(strings "$exe") &&
    grep -q 'level="asInvoker"' <(strings "$exe") ||
    { echo "wine-e2e: $name lacks its manifest" >&2; exit 1; }
  strings -el "$exe" | grep -qx "$version.0" || { echo "wine-e2e: $name lacks its version resource" >&2; exit 1; }
  echo "$name: manifest (common controls 6, asInvoker), version $version.0"
done

export WINEQT_QPA_PLATFORM=offscreen
export WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu'
# One archive for every program of the run, as on a PC where dravikPC and dravik share it.
export DRAVIK_ARCHIVE='C:\e2e\archive.sqlite'

# --- 2. The window programs start from the unpacked folder ---------------------------------------
# Each must still be running after 5 s: a missing DLL or plugin, or an archive it cannot open,
# ends it at once.
still_running() {  # $1: the program
  (cd "$app" && exec wine "./$1") >/dev/null 2>&1 &
  local program=$! status
  for _ in $(seq 1 50); do
    sleep 0.1
    kill -0 "$program" 2>/dev/null || break
  done
  if ! kill -0 "$program" 2>/dev/null; then
    wait "$program" && status=0 || status=$?
    echo "wine-e2e: $1 ended at start (exit status $status)" >&2
    exit 1
  fi
  kill "$program"
  wait "$program" 2>/dev/null || true
  echo "$1: started from the unpacked zip and still running after 5 s"
}
still_running dravikPC.exe

# --- the simulator, on the host, on a pty that Wine sees as COM<100 + its Linux number> ----------
export DRAVIK_DEVICEMAP=$WINEPREFIX/linux-devicemap
sim_pid=""
stop_sim() {
  [ -n "$sim_pid" ] || return 0
  kill "$sim_pid" 2>/dev/null || true  # dravik-sim ends on SIGTERM and removes its link
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}
trap 'stop_sim; wine_end' EXIT
start_sim() {  # sets linux_port (its number on Linux) and port (Wine's)
  local first tty
  coproc SIM { exec build/default/sim/dravik-sim --config sim/instruments/plus-metric-ms2.json; }
  sim_pid=$SIM_PID
  read -r -t 15 first <&"${SIM[0]}"
  # Its first line is "COM<n> <tty>" (n: its number in the Linux device map).
  tty=${first#* }
  linux_port=${first%% *}
  linux_port=${linux_port#COM}
  port=$((100 + linux_port))
  wine_map_port "$port" "$tty"
  echo "dravik-sim: on $tty, mapped as COM$port"
}

# --- 3. The tour, beside the program, against dravik-sim -----------------------------------------
cp "$build/tools/dravik-tour/dravik-tour.exe" "$app/"
start_sim
status=0
wine_run "$scratch/tour.log" dravik-tour.exe --port "$port" --window 'C:\e2e\window.png' \
  --report 'C:\e2e\report.pdf' --records 'C:\e2e\records.pdf' || status=$?
sed 's/^/dravik-tour.exe: /' "$scratch/tour.log"
stop_sim
[ "$status" -eq 0 ] || { cat "$scratch/tour.log.err" >&2; echo "wine-e2e: the tour failed" >&2; exit 1; }
pages=$(pdfinfo "$scratch/report.pdf" | awk '/^Pages:/ {print $2}')
echo "report.pdf: a PDF of $pages page(s), $(du -k "$scratch/report.pdf" | cut -f1) KB, printed under Wine"

# --- 4. The command line -------------------------------------------------------------------------
start_sim
wine_run "$scratch/ports.json" dravik.exe ports --format json || { cat "$scratch/ports.json.err" >&2; exit 1; }
listed=$(jq -r --argjson n "$port" '.[] | select(.port == $n) | .device' "$scratch/ports.json")
[ -n "$listed" ] || { echo "wine-e2e: dravik.exe ports does not list COM$port:" >&2; cat "$scratch/ports.json" >&2; exit 1; }
echo "dravik.exe ports: COM $port ($listed) among $(jq length "$scratch/ports.json") port(s)"

# The same instrument read on Linux (not kept) and through Wine's COM port (kept in the archive).
regime='UK MOT class 4, other'
build/default/cli/dravik read --port "$linux_port" --format json --no-archive --regime "$regime" \
  >"$scratch/linux.json" || { echo "wine-e2e: the Linux dravik read failed" >&2; exit 1; }
wine_run "$scratch/windows.json" dravik.exe read --port "$port" --format json --regime "$regime" ||
  { cat "$scratch/windows.json.err" >&2; echo "wine-e2e: dravik.exe read failed" >&2; exit 1; }
stop_sim
# What may differ: the archive's id (only the Windows read is kept), when each read ended, the
# port's number, and the instrument's clock (it runs on between the two reads).
same='del(.id, .read_at, .port, .instrument.clock)'
if ! diff <(jq -S "$same" "$scratch/linux.json") <(jq -S "$same" "$scratch/windows.json") >"$scratch/read.diff"; then
  cat "$scratch/read.diff" >&2
  echo "wine-e2e: dravik.exe read and the Linux dravik read differ" >&2
  exit 1
fi
echo "dravik.exe read: the same texts as the Linux dravik: $(jq -r '"serial \(.instrument.serial), \(.instrument.model), " +
  ([.tests[] | "test \(.number) \(.peak.text) \(.verdict)"] | join(", "))' "$scratch/windows.json")"

# The zip's example regime file, where README-windows.txt says to put it.
local_appdata=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
config=$(winepath -u "$local_appdata\dravikPC" 2>/dev/null)
mkdir -p "$config"
cp "$app/regimes.example.json" "$config/regimes.json"
wine_run "$scratch/regimes.txt" dravik.exe regimes || { cat "$scratch/regimes.txt.err" >&2; exit 1; }
if grep -q 'cannot be used' "$scratch/regimes.txt.err"; then cat "$scratch/regimes.txt.err" >&2; exit 1; fi
while read -r name; do
  grep -qxF "$name" "$scratch/regimes.txt" ||
    { echo "wine-e2e: dravik.exe regimes lacks \"$name\":" >&2; cat "$scratch/regimes.txt" >&2; exit 1; }
done < <(jq -r '.regimes[].name' "$app/regimes.example.json")
echo "dravik.exe regimes: $(wc -l <"$scratch/regimes.txt") regimes, the example's from $local_appdata\dravikPC\regimes.json"

wine_run "$scratch/records.txt" dravik.exe records list || { cat "$scratch/records.txt.err" >&2; exit 1; }
echo "dravik.exe records list: $(grep -c . "$scratch/records.txt") read-out(s) kept in $DRAVIK_ARCHIVE by dravikPC.exe and dravik.exe"


# --- 5. dravik-records.exe on the archive they wrote (its window's reprint: the tour's last step) ---
still_running dravik-records.exe
