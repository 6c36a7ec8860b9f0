# Compiler settings shared by every target of the project, the helper that registers a
# GoogleTest executable with CTest under one of the labels unit, integration or gui, and the
# warnings every target of ours builds with.

# The project's warnings, as a target the project's own targets link (dravik_link_warnings):
# unlike a global option they do not reach code built from outside (GoogleTest, Qt's sources).
add_library(dravik_warnings INTERFACE)
target_compile_options(dravik_warnings INTERFACE -Wall -Wextra)

# Links dravik_warnings into every library and program defined in `dir` and the folders below it.
# Called once, at the end of the top-level file, when every target exists.
function(dravik_link_warnings dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      target_link_libraries(${target} PRIVATE dravik_warnings)
    endif()
  endforeach()
  get_property(folders DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(folder IN LISTS folders)
    dravik_link_warnings("${folder}")
  endforeach()
endfunction()
if(NOT CMAKE_CROSSCOMPILING)
  add_compile_options(-pthread)
  add_link_options(-pthread)
endif()

if(DRAVIK_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(DRAVIK_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# dravik_add_test(<target> LABEL <unit|integration|gui> SOURCES ... LIBS ... [TIMEOUT s])
# Builds a GoogleTest executable and registers each of its tests with CTest. Every test runs
# on Qt's offscreen platform, and with a data folder and a results archive of its executable's
# own, so no test keeps read-outs in the developer's archive. Tests that link ports take a
# device-map folder of their own process (tests/support/DeviceMap.h), so they never meet the
# developer's running simulator.
function(dravik_add_test target)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY DRAVIK_TEST_TARGETS ${target})
  if(CMAKE_CROSSCOMPILING)
    return()  # run by scripts/wine-tests.sh, not CTest
  endif()
  # Test names start with their executable's name ("platform_comm_test/Comm.Open"), so a run can
  # select the tests of the executables it built (scripts/sanitize.sh).
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${target}/"
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  # The data folder and the archive go in through the executable itself (TestEnvironment.cpp):
  # a second variable in ENVIRONMENT does not survive the discovery script, which splits the list.
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/TestEnvironment.cpp)
  target_compile_definitions(${target} PRIVATE DRAVIK_TEST_DATA="${CMAKE_BINARY_DIR}/test-data/${target}")
endfunction()
