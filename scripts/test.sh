#!/usr/bin/env bash
# The README's test command: installs what is missing, configures, builds and runs every test.
# Usage: scripts/test.sh [preset]   (default, asan or tsan; default is "default")
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
preset=${1:-default}

scripts/deps.sh

jobs=$(nproc)
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$jobs"
ctest --preset "$preset" -j "$jobs" --timeout 600
