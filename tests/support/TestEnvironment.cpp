// Compiled into every test executable on Linux (dravik_add_test): before any test runs, a data
// folder and a results archive of the executable's own (DRAVIK_TEST_DATA, under the build
// folder), so no test keeps read-outs in, or reads them from, the developer's own archive. A
// variable the caller set is left as it is.
#include <cstdlib>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    // setenv: 0 on success; it fails only without memory, and a test then meets the default.
    setenv("XDG_DATA_HOME", DRAVIK_TEST_DATA, 0);
    setenv("DRAVIK_ARCHIVE", DRAVIK_TEST_DATA "/archive.sqlite", 0);
  }
};

const TestEnvironment kTestEnvironment;

}  // namespace
