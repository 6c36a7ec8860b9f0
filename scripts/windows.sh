#!/usr/bin/env bash
# The 64-bit Windows build, from Debian's packages and source packages only:
#   cache  Qt 6.4.2 qtbase (Core, Gui, Widgets, PrintSupport, Sql with the SQLite driver; the
#          qwindows and offscreen plugins), SQLite and GoogleTest for x86_64-w64-mingw32, built
#          once into $DRAVIK_WIN_CACHE (default ~/.cache/dravik-win), in a folder named after a
#          hash of the recipe below, the toolchain file and the source versions, so a changed
#          recipe builds anew and an unchanged one is reused;
#   build  our programs and the Qt-free tests with the windows preset, and the portable zip;
#   test   the Qt-free tests of platform/ and serial/ under Wine (scripts/wine-tests.sh);
#   e2e    dravikPC.exe under Wine against dravik-sim (scripts/wine-e2e.sh).
# Every step prints its time. Usage: scripts/windows.sh [cache|build|test|e2e ...]  (default: all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(cache build test e2e)

cache=${DRAVIK_WIN_CACHE:-$HOME/.cache/dravik-win}
export DRAVIK_WIN_PREFIX=$cache/current  # for the toolchain file and scripts/wine-e2e.sh
jobs=2   # the machine is shared: never more than its two cores
triple=x86_64-w64-mingw32

# The exact source versions: Qt's must be the host Qt's (its moc, uic and rcc serve the build).
qt_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null || true)

# --- the recipe: everything from here to the key goes into the cache key ---------------------

fetch_sources() {  # $1: folder
  (cd "$1" && apt-get source -qq "qt6-base=$qt_version" sqlite3 >"$1/sources.log" 2>&1)
  ls -d "$1"/qt6-base-*/ "$1"/sqlite3-*/ >/dev/null
}

build_sqlite() {  # $1: source folder, $2: prefix
  # The single-file source (sqlite3.c) is generated on the host (it needs tclsh and host tools),
  # then compiled by MinGW into a static library that Qt's SQLite driver links.
  local src=$1 prefix=$2
  mkdir -p "$src/host" "$prefix/include" "$prefix/lib"
  (cd "$src/host" && ../configure --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
  "$triple-gcc-posix" -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_SECURE_DELETE -DSQLITE_USE_URI=1 \
    -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_OMIT_LOAD_EXTENSION -c "$src/host/sqlite3.c" -o "$src/host/sqlite3.o"
  "$triple-ar" rcs "$prefix/lib/libsqlite3.a" "$src/host/sqlite3.o"
  cp "$src/host/sqlite3.h" "$src/src/sqlite3ext.h" "$prefix/include/" 2>/dev/null ||
    cp "$src/host/sqlite3.h" "$prefix/include/"
}

build_qt() {  # $1: source folder, $2: build folder, $3: prefix
  # Only what the programs need: no network, D-Bus, XML, OpenGL, test library (the tour and the
  # Wine tests need none), image plugins or SQL drivers other than SQLite. Debian's source lacks
  # the bundled wintab (tablet events), iaccessible2 and SQLite; direct2d stays on because
  # Qt6PrintSupport.dll does not link without it, but Direct2D 1.1 goes: it only adds the
  # qdirect2d platform plugin, which compiles the whole qwindows plugin a second time.
  local src=$1 build=$2 prefix=$3
  cmake -S "$src" -B "$build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=OFF \
    -DFEATURE_direct2d1_1=OFF -DFEATURE_concurrent=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF \
    -DFEATURE_pkg_config=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_androiddeployqt=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
    -DSQLite3_INCLUDE_DIR="$prefix/include" -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.a" \
    -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_oci=OFF \
    -DFEATURE_sql_ibase=OFF -DFEATURE_sql_db2=OFF >"$build.configure.log"
  cmake --build "$build" --parallel "$jobs" >"$build.log"
  cmake --install "$build" --strip >"$build.install.log" 2>&1
}

build_gtest() {  # $1: build folder, $2: prefix
  # Debian's GoogleTest sources (package googletest), static, with GoogleMock.
  cmake -S /usr/src/googletest -B "$1" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$2/mingw-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$2" -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$1" --parallel "$jobs" >/dev/null
  cmake --install "$1" >/dev/null
}

recipe_key() {
  { declare -f fetch_sources build_sqlite build_qt build_gtest
    cat cmake/mingw-x86_64.cmake
    echo "$qt_version"
    apt-get source --print-uris sqlite3 2>/dev/null | grep -o '[^ ]*\.dsc ' || true
    dpkg-query -W -f='${Version}\n' "g++-mingw-w64-x86-64-posix" googletest
  } | sha256sum | cut -c1-16
}

# --- steps --------------------------------------------------------------------------------------

start=$(date +%s)
stamp() { echo "== windows: $1: $(( $(date +%s) - start )) s"; start=$(date +%s); }
# Time of a part of the cache step, from the step's start.
part() { echo "   windows: $1 after $(( $(date +%s) - start )) s"; }

step_cache() {
  local key prefix
  key=$(recipe_key)
  prefix=$cache/$key
  if [ -f "$prefix/.complete" ]; then
    echo "windows: Qt, SQLite and GoogleTest for $triple reused from $prefix"
  else
    echo "windows: building Qt $qt_version, SQLite and GoogleTest for $triple into $prefix"
    rm -rf "$prefix"
    mkdir -p "$prefix"
    work=$(mktemp -d "$cache/work.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    cp cmake/mingw-x86_64.cmake "$prefix/"
    fetch_sources "$work"
    part "sources fetched"
    DRAVIK_WIN_PREFIX=$prefix build_sqlite "$(ls -d "$work"/sqlite3-*/)" "$prefix"
    part "SQLite built"
    if ! DRAVIK_WIN_PREFIX=$prefix build_qt "$(ls -d "$work"/qt6-base-*/)" "$work/qt-build" "$prefix"; then
      tail -n 40 "$work"/qt-build.configure.log "$work"/qt-build.log 2>/dev/null  # the logs go with $work
      exit 1
    fi
    part "Qt built"
    DRAVIK_WIN_PREFIX=$prefix build_gtest "$work/gtest-build" "$prefix"
    part "GoogleTest built"
    rm -rf "$work"
    trap - EXIT
    touch "$prefix/.complete"
    # Only the newest recipe's tree is kept.
    find "$cache" -mindepth 1 -maxdepth 1 ! -name "$key" -exec rm -rf {} +
  fi
  ln -sfn "$key" "$cache/current"
}

step_build() {
  # --fresh: the cache folder may have moved or been rebuilt since the last configure.
  cmake --preset windows --fresh >/dev/null
  cmake --build --preset windows -j "$jobs"
  rm -f build/windows/dravikPC-*-win64.zip
  (cd build/windows && cpack -G ZIP >/dev/null)
  local zip
  zip=$(ls build/windows/dravikPC-*-win64.zip)
  echo "windows: $zip ($(du -k "$zip" | cut -f1) KB)"
}

scripts/deps.sh --windows
for s in "${steps[@]}"; do
  case "$s" in
    cache) step_cache; stamp "Qt, SQLite and GoogleTest for Windows" ;;
    build) step_build; stamp "our programs and tests for Windows, and the zip" ;;
    test) scripts/wine-tests.sh build/windows; stamp "the Qt-free tests under Wine" ;;
    e2e) scripts/wine-e2e.sh build/windows; stamp "dravikPC.exe under Wine end to end" ;;
    *) echo "unknown step $s" >&2; exit 2 ;;
  esac
done
