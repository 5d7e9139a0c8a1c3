#!/usr/bin/env bash
# Runs the whole test suite headless through CTest.
set -euo pipefail
build=${1:-build}
export QT_QPA_PLATFORM=offscreen
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
cd "$build"
# The tests mostly wait on timers and terminals (the whole suite keeps two
# cores about a third busy): eight at a time, so the run lasts about as long
# as its longest test, which starts first.
ctest --output-on-failure -j "${TEST_JOBS:-8}" --timeout 300
