#!/usr/bin/env bash
# Runs the benchmarks and times quarn-log export on a generated one-hour log.
set -euo pipefail
build=${1:-build}
"$build/bin/quarn-bench" --benchmark_min_time=1
QT_QPA_PLATFORM=offscreen "$build/bin/quarn-bench-scope" --benchmark_min_time=1
"$build/bin/quarn-bench-dyno" --benchmark_min_time=1
"$build/bin/quarn-bench-analysis" --benchmark_min_time=1
"$build/bin/quarn-bench-fuel" --benchmark_min_time=1
QT_QPA_PLATFORM=offscreen "$build/bin/viewer_bench" 2>/dev/null
QT_QPA_PLATFORM=offscreen "$build/bin/recording_holes_bench" 2>/dev/null
"$build/bin/quarn_log_bench" "$build/bin" || true
QT_QPA_PLATFORM=offscreen "$build/bin/report_bench" 2>/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 - "$tmp/hour.qz0" <<'PY'
import random, struct, sys
# About one hour at full rate: a million records.
random.seed(4)
with open(sys.argv[1], "wb") as f:
    for _ in range(1_000_000):
        words = [random.randint(0, 1023) for _ in range(10)]
        frame = b"".join(struct.pack(">H", w) for w in words)
        frame += b"".join(struct.pack("<H", random.randint(1, 65535)) for _ in range(8))
        frame += bytes([random.randint(0, 255)])
        frame += bytes([sum(frame) & 0xFF])
        f.write(struct.pack("<HIi", 1, 38, 0) + frame)
PY
echo "quarn-log export of 1,000,000 records to /dev/null:"
start=$(date +%s.%N)
"$build/bin/quarn-log" export "$tmp/hour.qz0" >/dev/null
end=$(date +%s.%N)
python3 -c "import sys; t=float(sys.argv[2])-float(sys.argv[1]); print(f'  {t:.3f} s, {1e6/t:,.0f} records/s')" "$start" "$end"
echo "quarn-dash --view of the same log, from the process start to its plots drawn (5 runs):"
for _ in 1 2 3 4 5; do
  QT_QPA_PLATFORM=offscreen QUARN_VIEW_TIMING=1 XDG_CONFIG_HOME="$tmp" \
    timeout 30 "$build/bin/quarn-dash" --view "$tmp/hour.qz0" 2>&1 | grep -o 'view_plotted_seconds=.*' || echo "  not plotted"
done | sed 's/^/  /'
