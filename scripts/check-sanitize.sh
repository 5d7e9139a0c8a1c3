#!/usr/bin/env bash
# Builds the programs and tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the headless and widget tests with them
# (the soak, a measurement, runs on the release build only).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-asan}
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -DQT_FORCE_ASSERTS"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
fi
cmake --build "$build" -j 2
# A run that changes nothing tests nothing new: when no source file, script
# or built program is newer than the last run that passed, say so and stop.
# QUARN_SANITIZE_AGAIN=1 runs the tests anyway.
passed="$build/.tests-passed"
if [ -f "$passed" ] && [ -z "${QUARN_SANITIZE_AGAIN:-}" ] && [ -z "$(
    find "$root" \( -path "$root/.git" -o -path "$root/build*" \) -prune -o -newer "$passed" -print -quit
    find "$build/bin" "$build/tests-bin" "$build/CTestTestfile.cmake" -newer "$passed" -print -quit)" ]; then
  echo "Sanitizer tests: nothing changed since they last passed ($passed); QUARN_SANITIZE_AGAIN=1 runs them again."
  exit 0
fi
rm -f "$passed"
export QT_QPA_PLATFORM=offscreen
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp"
cd "$build"
# Under the sanitizers the tests use the processors more: six at a time.
ctest -L "headless|widgets" --output-on-failure -j "${TEST_JOBS:-6}" --timeout 300
touch "$passed"
