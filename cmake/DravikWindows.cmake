# The 64-bit Windows build (windows preset, scripts/windows.sh): every program gets the manifest
# (common controls version 6, asInvoker) and a version resource; `cmake --install` and
# `cpack -G ZIP` put the programs beside the Qt and MinGW runtime DLLs and the Qt plugins they
# load, the list that windeployqt would make (it does not run here). The zip unpacks to one
# folder: dravikPC-<version>-win64/ with dravikPC.exe at its top.

set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)  # packaging builds nothing itself (as on Linux)

# dravik_windows_program(<target> <description> [GUI]): manifest and version resource; GUI makes
# it a window program (no console).
function(dravik_windows_program target description)
  set(DRAVIK_RC_NAME ${target})
  set(DRAVIK_RC_FILE ${target}.exe)
  set(DRAVIK_RC_DESCRIPTION "${description}")
  set(DRAVIK_RC_VERSION "${PROJECT_VERSION}.0")
  string(REPLACE "." "," DRAVIK_RC_COMMAS "${DRAVIK_RC_VERSION}")
  set(dir ${CMAKE_BINARY_DIR}/windows-resources)
  set(DRAVIK_RC_MANIFEST ${dir}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest.in ${DRAVIK_RC_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${dir}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/${target}.rc)
  if("GUI" IN_LIST ARGN)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endfunction()

# The programs of the zip (those of this build; cli/ and records/ add theirs).
set(dravik_windows_programs)
foreach(entry "dravikPC|dravikPC, the companion program of the dravik decelerometer|GUI"
              "dravik-records|dravik-records, the archive of dravik brake tests|GUI"
              "dravik|dravik, the command line of the dravik decelerometer|CONSOLE")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 target)
  list(GET entry 1 description)
  list(GET entry 2 kind)
  if(TARGET ${target})
    dravik_windows_program(${target} "${description}" ${kind})
    list(APPEND dravik_windows_programs ${target})
  endif()
endforeach()
if(TARGET dravik-tour)  # the guided tour: a console program, built, not packaged
  dravik_windows_program(dravik-tour "dravik-tour, the guided tour of dravikPC")
endif()

# --- what the zip holds beside the programs --------------------------------------------------
# The programs install themselves (install(TARGETS) in their folders) into CMAKE_INSTALL_BINDIR,
# which the windows preset sets to the top of the zip.
if(NOT CMAKE_INSTALL_BINDIR STREQUAL ".")
  message(FATAL_ERROR "the Windows zip needs CMAKE_INSTALL_BINDIR=. (cmake --preset windows)")
endif()

# MinGW's C++ runtime (posix threads), where the compiler finds it.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "the MinGW runtime ${dll} was not found (${CMAKE_CXX_COMPILER} -print-file-name)")
  endif()
  # Debian ships them with their symbols (libstdc++ 23 MB, 2 MB without): the zip gets a stripped copy.
  set(stripped ${CMAKE_BINARY_DIR}/windows-runtime/${dll})
  if(NOT EXISTS ${stripped} OR ${path} IS_NEWER_THAN ${stripped})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/windows-runtime)
    execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${stripped} ${path} RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "could not strip ${path}")
    endif()
  endif()
  install(FILES ${stripped} DESTINATION .)
endforeach()

# Qt's libraries and plugins, by their imported targets: Sql and its SQLite driver with the
# archive (found again here: archive/'s find_package is seen only in its own folder). Printing
# has no plugin on Windows (it is inside Qt6PrintSupport.dll); the offscreen platform serves runs
# without a display (QT_QPA_PLATFORM=offscreen).
set(dravik_qt_dlls Qt6::Core Qt6::Gui Qt6::Widgets Qt6::PrintSupport)
set(dravik_qt_plugins "Qt6::QWindowsIntegrationPlugin|platforms" "Qt6::QOffscreenIntegrationPlugin|platforms"
                      "Qt6::QWindowsVistaStylePlugin|styles")
if(TARGET dravik_archive)
  find_package(Qt6 REQUIRED COMPONENTS Sql)
  list(APPEND dravik_qt_dlls Qt6::Sql)
  list(APPEND dravik_qt_plugins "Qt6::QSQLiteDriverPlugin|sqldrivers")
endif()
foreach(lib ${dravik_qt_dlls})
  install(FILES $<TARGET_FILE:${lib}> DESTINATION .)
endforeach()
foreach(entry ${dravik_qt_plugins})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 plugin)
  list(GET entry 1 folder)
  if(NOT TARGET ${plugin})
    message(FATAL_ERROR "the Qt plugin ${plugin} is missing from the Qt for Windows")
  endif()
  install(FILES $<TARGET_FILE:${plugin}> DESTINATION ${folder})
endforeach()
# The example regime file (README-windows.txt says where a regimes.json goes).
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/windows/README-windows.txt
              ${PROJECT_SOURCE_DIR}/packaging/regimes.example.json
        DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME dravikPC)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_VENDOR "dravikPC")
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)  # dravikPC-<version>-win64/
include(CPack)
