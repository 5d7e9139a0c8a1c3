#!/usr/bin/env bash
# An adapter unplugged while the dashboard monitors, and plugged in again on
# the same name: prints the CPU of quarn-dash over 10 s of waiting for it, and
# how soon frames flow once it is back.
#   bench/unplug-wait.sh [build dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
trap 'kill $sim $dash 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config
cd "$work"
printf ' 1 \r\n' > quarnom.ini

# Unplugged 7 s after the start (the connection takes about 3 s), back 12 s later.
"$build/bin/quarn-boxsim" --pace --latency 0.5 --link "$work/box" --unplug-after 7 \
  --replug-after 12 >/dev/null 2>"$work/sim.err" &
sim=$!
while [ ! -e "$work/box" ]; do sleep 0.05; done
QUARN_COM1=$work/box "$build/bin/quarn-dash" --stats --quit-after 24 2>"$work/dash.err" &
dash=$!

ticks() { awk '{print $14 + $15}' "/proc/$dash/stat"; }
while [ -e "$work/box" ]; do sleep 0.05; done   # unplugged
sleep 0.5
t0=$(ticks); w0=$(date +%s.%N)
sleep 10
t1=$(ticks); w1=$(date +%s.%N)

wait "$dash" || true
hz=$(getconf CLK_TCK)
python3 - "$t0" "$t1" "$w0" "$w1" "$hz" <<'PY'
import sys
t0, t1, w0, w1, hz = sys.argv[1:]
print(f"CPU of quarn-dash while waiting: {(int(t1) - int(t0)) / int(hz) / (float(w1) - float(w0)) * 100:.2f} % of one core over {float(w1) - float(w0):.1f} s")
PY
grep -E "good_frames" "$work/dash.err" || true
