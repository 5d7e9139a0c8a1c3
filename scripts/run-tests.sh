#!/usr/bin/env bash
# Runs the whole test suite headless through CTest.
set -euo pipefail
build=${1:-build}
export QT_QPA_PLATFORM=offscreen
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
cd "$build"
ctest --output-on-failure -j 2 --timeout 300
