# Sourced by scripts/wine-tests.sh and scripts/wine-e2e.sh: a fresh Wine prefix in a temporary
# folder for one run, and what Windows programs of the windows preset need under Wine.
#   wine_begin <build-dir>   make the prefix, start its wineserver, set WINEPATH and LD_PRELOAD
#   wine_map_port <n> <tty>  make COM<n> (n > 100) open <tty>, listed under SERIALCOMM too
#   wine_end                 stop the prefix's wineserver (and Xvfb, if started), remove the prefix
# Only ports the caller made are ever mapped: the prefix's own COM links (Wine points COM1 and up
# at the host's serial devices, on these machines the console) are removed.

wine_begin() {
  local build=$1
  export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  WINEPREFIX=$(mktemp -d /tmp/dravik-wine.XXXXXX)
  trap wine_end EXIT
  local t0=$SECONDS
  wine wineboot -i >/dev/null 2>&1
  # No display: windows (hidden message windows, Qt's offscreen windows) need no X server with
  # the null driver, which takes effect once the prefix's server and desktop start again.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -k 2>/dev/null || true
  wineserver -w
  wineserver -p 2>/dev/null  # one server for all the runs that follow (each start would otherwise wait for it)
  rm -f "$WINEPREFIX"/dosdevices/com*
  wine reg delete 'HKLM\Hardware\DeviceMap\SerialComm' /va /f >/dev/null 2>&1 || true  # its values: the key is volatile
  # MinGW's C++ runtime for executables run from the build folder (the zip carries its own).
  local dirs=() dll
  for dll in libstdc++-6.dll libwinpthread-1.dll; do
    dirs+=("Z:$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)" | tr / '\\')")
  done
  WINEPATH=$(IFS=';'; echo "${dirs[*]}")
  export WINEPATH
  # Wine's serial driver asks a pty for modem lines it does not have (tests/support/PtyModemLines.cpp).
  local preload=$root/build/default/tests/support/libpty_modem_lines.so
  [ -f "$preload" ] || { echo "wine: $preload is missing (cmake --build --preset default --target pty_modem_lines)" >&2; return 1; }
  export LD_PRELOAD=$preload
  echo "wine: prefix $WINEPREFIX ready in $((SECONDS - t0)) s ($(wine --version))"
}

wine_map_port() {
  local number=$1 tty=$2
  [ "$number" -gt 100 ] || { echo "wine: refusing to map COM$number (only numbers above 100)" >&2; return 1; }
  ln -sfn "$tty" "$WINEPREFIX/dosdevices/com$number"
  # The value's name is the device's, as Windows names them (\Device\Serial<n>); its data the port.
  wine reg add 'HKLM\Hardware\DeviceMap\SerialComm' /v "\\Device\\Serial$number" /d "COM$number" /f >/dev/null
}

wine_xvfb_pid=""
wine_end() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    LD_PRELOAD= wineserver -k 2>/dev/null || true
    LD_PRELOAD= wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ -n "$wine_xvfb_pid" ]; then
    kill "$wine_xvfb_pid" 2>/dev/null || true
    wait "$wine_xvfb_pid" 2>/dev/null || true
    wine_xvfb_pid=""
  fi
}
