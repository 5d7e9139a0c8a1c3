#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a set time.
#   scripts/run-fuzz.sh [seconds per target]
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -g -O1 -DQT_FORCE_ASSERTS"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARN_FUZZ=ON -DQUARN_WERROR=OFF -DQUARN_PCH=OFF \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --target fuzz_decode fuzz_log_reader fuzz_settings fuzz_reply fuzz_flashes \
  fuzz_sidecar fuzz_vehicle_file fuzz_user_settings fuzz_expression
status=0
for target in "$build"/fuzz/fuzz_*; do
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name ($seconds s)"
  # Hand-written files to start from, where the format has a header a
  # fuzzer would take long to guess; new finds go to the build's corpus.
  seeds="$root/tests/fuzz/seeds/$name"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/$name-" \
      "$corpus" $([ -d "$seeds" ] && echo "$seeds") 2>"$build/$name.log"; then
    status=1
    tail -40 "$build/$name.log"
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/$name.log" || true
done
exit $status
