# Toolchain for the 64-bit Windows build: Debian's x86_64 MinGW (posix threads, so std::thread and
# std::mutex work), with the Qt, SQLite and GoogleTest that scripts/windows.sh cross-builds into
# one prefix. That prefix is $DRAVIK_WIN_PREFIX when set (scripts/windows.sh sets it), otherwise
# the newest one of the cache, <$DRAVIK_WIN_CACHE or ~/.cache/dravik-win>/current. Read from the
# environment so that CMake's try_compile projects, which re-read this file, see it too.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(DEFINED ENV{DRAVIK_WIN_PREFIX})
  set(DRAVIK_WIN_PREFIX "$ENV{DRAVIK_WIN_PREFIX}")
elseif(DEFINED ENV{DRAVIK_WIN_CACHE})
  set(DRAVIK_WIN_PREFIX "$ENV{DRAVIK_WIN_CACHE}/current")
else()
  set(DRAVIK_WIN_PREFIX "$ENV{HOME}/.cache/dravik-win/current")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${DRAVIK_WIN_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${DRAVIK_WIN_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Qt's build tools (moc, uic, rcc) are the host's: Debian's Qt of the same version.
set(QT_HOST_PATH /usr CACHE PATH "Qt for the build machine's tools")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "CMake packages of the host Qt")
