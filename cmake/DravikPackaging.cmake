# Installing and packaging. `cmake --install <build>` puts dravikPC and dravik-sim in bin/, the
# desktop entry and the icon in share/, and the simulator's sample instruments in
# share/dravikpc/instruments/. `cpack -G DEB` in the build folder (or scripts/package.sh) makes
# dravikpc_<version>_<arch>.deb for /usr.
# dravikPC's own install rule is in app/CMakeLists.txt; the rest is here.

# Installing and packaging take what has been built and build nothing themselves (the default
# would build every target, the whole test suite included, before packaging two programs).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS dravik-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/dravikpc.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/dravikpc.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/sim/instruments/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dravikpc/instruments
        FILES_MATCHING PATTERN "*.json")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dravikpc)
set(CPACK_PACKAGE_VENDOR "dravikPC")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program of the dravik brake-test decelerometer")
set(CPACK_PACKAGE_DESCRIPTION
    "dravikPC reads a dravik or dravik+ brake-test decelerometer over a serial port (a USB-serial\n"
    "adapter or a built-in port), shows its status, configuration and three stored brake tests in\n"
    "one window and prints a one-page test report. The package also holds dravik, the command line\n"
    "for test stations and scripts, and dravik-sim, a simulated instrument on a pseudo-terminal,\n"
    "for trying the programs without one.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # dravikpc_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "dravikPC maintainers <dravikpc@example.com>"
    CACHE STRING "Maintainer field of the .deb")

# What the program needs at run time besides the libraries it links: a Qt platform plugin (xcb
# for a desktop; offscreen comes with libqt6gui6), the metric-compatible Tahoma of the window
# (fonts-wine) and the Arial of the report (Liberation Sans).
# The results archive's Qt SQL drivers are plugins, loaded at run time: SQLite, and PostgreSQL
# for a shared archive.
set(dravik_deb_extra "qt6-qpa-plugins, fonts-wine, fonts-liberation, libqt6sql6-sqlite, libqt6sql6-psql")
find_program(DRAVIK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DRAVIK_DPKG_SHLIBDEPS)
  # The library packages (libqt6core6, libqt6gui6, libqt6widgets6, libqt6printsupport6, libc6,
  # libstdc++6, ...) with their versions, from the binaries themselves.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${dravik_deb_extra}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6printsupport6 (>= 6.4), libqt6sql6 (>= 6.4), ${dravik_deb_extra}")
endif()

include(CPack)
