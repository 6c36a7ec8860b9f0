#!/usr/bin/env bash
# The Windows programs under Wine end to end, from the portable zip:
#   1. every .exe and .dll of the unpacked zip finds each DLL it imports in the folder or in Wine's
#      system folder (the zip's install rule stands in for windeployqt);
#   2. dravikPC.exe starts from the unpacked folder and is still running after a few seconds;
#   3. dravik-tour.exe, put beside it, drives dravikPC's window against dravik-sim (on the host,
#      on a pty mapped as a COM port above 100): the port is listed, "connect" reaches the
#      connected view, the report prints to a PDF, "CLEAR" reads the instrument again.
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
cmake --build --preset default --target dravik-sim pty_modem_lines >/dev/null
wine_begin "$build"
unset WINEPATH  # the zip carries its own runtime
scratch=$WINEPREFIX/drive_c/e2e
mkdir -p "$scratch"
unzip -q "$zip" -d "$scratch"
app=$(ls -d "$scratch"/dravikPC-*-win64)

# 1. Imports: in the folder, a system DLL of Wine's, or an API set (api-ms-win-*).
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

export WINEQT_QPA_PLATFORM=offscreen
export WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu'

# 2. The program itself starts from the unpacked folder.
(cd "$app" && exec wine ./dravikPC.exe) >/dev/null 2>&1 &
program=$!
for _ in $(seq 1 50); do  # up to 5 s: it must still be running then (a missing DLL ends it at once)
  sleep 0.1
  kill -0 "$program" 2>/dev/null || break
done
if ! kill -0 "$program" 2>/dev/null; then
  wait "$program" && status=0 || status=$?
  echo "wine-e2e: dravikPC.exe ended at start (exit status $status)" >&2
  exit 1
fi
kill "$program"
wait "$program" 2>/dev/null || true
echo "dravikPC.exe: started from the unpacked zip and still running after 5 s"

# 3. The tour, beside the program (with the Qt library it types with), against dravik-sim.
qt=${DRAVIK_WIN_PREFIX:-${DRAVIK_WIN_CACHE:-$HOME/.cache/dravik-win}/current}
cp "$build/tools/dravik-tour/dravik-tour.exe" "$qt/bin/Qt6Test.dll" "$app/"
export DRAVIK_DEVICEMAP=$WINEPREFIX/linux-devicemap
coproc SIM { exec build/default/sim/dravik-sim --config sim/instruments/plus-metric-ms2.json; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true; wine_end' EXIT
read -r -t 15 first <&"${SIM[0]}"
# Its first line is "COM<n> <tty>" (n: its number in the Linux device map); Wine gets 100 + n.
tty=${first#* }
number=${first%% *}
port=$((100 + ${number#COM}))
wine_map_port "$port" "$tty"
echo "dravik-sim: on $tty, mapped as COM$port"
status=0
# Into a file, not a pipe: services Wine starts on demand inherit the output and outlive the tour.
(cd "$app" && wine ./dravik-tour.exe --port "$port" --window 'C:\e2e\window.png' --report 'C:\e2e\report.pdf') \
  >"$scratch/tour.log" 2>&1 || status=$?
tr -d '\r' <"$scratch/tour.log" | sed 's/^/dravik-tour.exe: /'
kill "$sim_pid" 2>/dev/null || true  # dravik-sim ends on SIGTERM and removes its link
wait "$sim_pid" 2>/dev/null || true
[ "$status" -eq 0 ] || { echo "wine-e2e: the tour failed" >&2; exit 1; }
pages=$(pdfinfo "$scratch/report.pdf" | awk '/^Pages:/ {print $2}')
echo "report.pdf: a PDF of $pages page(s), $(du -k "$scratch/report.pdf" | cut -f1) KB, printed under Wine"
