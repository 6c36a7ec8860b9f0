#!/usr/bin/env bash
# Builds and runs the sanitizer variant of the tests it matters for. Only those test
# executables (and what they link) are built, to keep the run short.
# Usage: scripts/sanitize.sh asan|tsan
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
preset=${1:?usage: scripts/sanitize.sh asan|tsan}
scripts/deps.sh

case "$preset" in
  # Address and undefined-behaviour sanitizers: every test executable.
  asan) targets="all_tests" ;;
  # ThreadSanitizer: the executables whose tests cross threads (Qt itself is invisible to it).
  # The port's and the program's integration tests run here too: the program's threads meet
  # the user-interface thread only in the serial layer, and these drive it hardest. archive_test
  # runs the archive's writer thread (the program's own end-to-end test runs it with the window).
  # Tests start their helper programs with fork and exec (tests/support/ChildProcess), not
  # QProcess: once Debian's Qt 6.4 has started a child, ThreadSanitizer stops seeing the locks of
  # the thread that started it. The tsan test preset also sets QT_NO_GLIB=1: on glib's event
  # dispatcher two of Qt's pooled threads race inside glib's (uninstrumented) allocator.
  tsan) targets="platform_sync_test platform_messages_test platform_comm_test test_serial_dispatcher test_serial_devlayer test_serial_devlayer_stress test_port_unit test_port_pty test_port_stress reliability_port_test app_controller_test app_end_to_end_test reliability_program_test session_test archive_test" ;;
  *) echo "unknown preset $preset" >&2; exit 2 ;;
esac

cmake --preset "$preset" >/dev/null
# shellcheck disable=SC2086
cmake --build --preset "$preset" -j "$(nproc)" --target $targets
if [ "$targets" = "all_tests" ]; then
  ctest --preset "$preset" -j "$(nproc)" --timeout 900
else
  ctest --preset "$preset" -j "$(nproc)" --timeout 900 -R "^($(echo $targets | tr ' ' '|'))/"
fi
