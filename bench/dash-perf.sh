#!/usr/bin/env bash
# Monitors the paced simulator with the dashboard visible for a fixed time and
# prints the frame rate against the wire limit, the CPU of quarn-dash and its
# memory over the run.
#   bench/dash-perf.sh [seconds] [build dir]
# RECORD=1 also records every frame into a log; SCOPES=N opens N scope
# windows; RATE=9600 limits the box (and the wire limit) to that rate. A bare
# request/read client then runs on the same line as the yardstick (BARE=0: not).
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build}
latency_ms=0.5
rate=${RATE:-115200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$work

cd "$work"
record_args=()
[ -n "${RECORD:-}" ] && record_args=(--record "$work/run.qz0")
[ -n "${SCOPES:-}" ] && record_args+=(--scopes "$SCOPES")
"$build/bin/quarn-dash" --demo --boxsim-args "--pace --latency $latency_ms --max-rate $rate ${BOXSIM_EXTRA:-}" --stats \
  --quit-after "$seconds" "${record_args[@]}" 2>"$work/stderr" &
pid=$!

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$pid/status"; }
# The connection takes about 3 s; measure from then on.
sleep 5
t0=$(ticks); w0=$(date +%s.%N); rss_first=$(rss); rss_peak=$rss_first
while kill -0 "$pid" 2>/dev/null; do
  r=$(rss 2>/dev/null || true)
  [ -n "$r" ] && [ "$r" -gt "$rss_peak" ] && rss_peak=$r
  [ -n "$r" ] && rss_last=$r
  t1=$(ticks 2>/dev/null || echo "$t1"); w1=$(date +%s.%N)
  sleep 1
done
wait "$pid" || true

hz=$(getconf CLK_TCK)
python3 - "$work/stderr" "$t0" "$t1" "$w0" "$w1" "$hz" "$rss_first" "$rss_last" "$rss_peak" "$latency_ms" "$rate" <<'PY'
import re, sys
err, t0, t1, w0, w1, hz, first, last, peak, lat, baud = sys.argv[1:]
text = open(err).read()
m = re.search(r"good_frames=(\d+) bad_frames=(\d+) .*span_seconds=([\d.]+)", text)
good, bad, span = int(m.group(1)), int(m.group(2)), float(m.group(3))
answered = re.search(r"frames_answered=(\d+)", text)
limit = 1 / (39 * 10 / int(baud) + float(lat) / 1000)
first_frame = re.search(r"first_frame_seconds=([\d.]+)", text)
rate = (good - 1) / span if span > 0 else 0
cpu = (int(t1) - int(t0)) / int(hz) / (float(w1) - float(w0)) * 100
print(f"frames: {good} good, {bad} bad" + (f", {answered.group(1)} answered by the box" if answered else ""))
print(f"frame rate at {baud}: {rate:.1f} frames/s against a wire limit of {limit:.1f} ({rate / limit:.3f})")
print(f"CPU of quarn-dash: {cpu:.1f} % of one core")
if first_frame:
    print(f"start-up to the first frame: {float(first_frame.group(1)):.2f} s (2 s of it the splash)")
import os
log = os.path.join(os.path.dirname(err), "run.qz0")
if os.path.exists(log):
    print(f"log: {os.path.getsize(log) // 48} records, {os.path.getsize(log) % 48} stray bytes")
print(f"memory (RSS): {int(first) / 1024:.1f} MB after connecting, {int(last) / 1024:.1f} MB at the end, peak {int(peak) / 1024:.1f} MB")
PY

# The yardstick, on the same simulated line in the same run: a client that
# only requests and reads (up to 30 s; BARE=0 leaves it out).
if [ "${BARE:-1}" != 0 ]; then
  bare_seconds=$(( seconds < 30 ? seconds : 30 ))
  # shellcheck disable=SC2086
  python3 "$root/bench/bare-client.py" "$bare_seconds" "$build" "$rate" "$latency_ms" ${BOXSIM_EXTRA:-}
fi
