#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
# BUILD_DIR (default build) and extra CMake arguments through CMAKE_ARGS.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

build=${BUILD_DIR:-build}
# The tests serve descriptions from a local server; the default host points there.
cmake -S . -B "$build" -G Ninja -DSETUP_DEFAULT_HOST=127.0.0.1:18080 ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2 ${CTEST_ARGS:-}
