#!/usr/bin/env bash
# Soak: the dashboard and ten scopes monitor the paced simulator at 115200
# while recording, for a chosen time; the box corrupts every 50th frame.
# Prints what the box answered, what the program counted and logged, and the
# program's memory and CPU.
#   bench/soak.sh [seconds] [build dir]
set -euo pipefail
seconds=${1:-120}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$work
cd "$work"

"$build/bin/quarn-dash" --demo --boxsim-args "--pace --bad-every 50" --scopes 10 \
  --record "$work/soak.qz0" --stats --quit-after "$seconds" 2>"$work/stderr" &
pid=$!
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$pid/status"; }
sleep 5
t0=$(ticks); w0=$(date +%s.%N); first=$(rss); peak=$first; last=$first; t1=$t0; w1=$w0
start=$SECONDS; at1=0; at10=0
while kill -0 "$pid" 2>/dev/null; do
  r=$(rss 2>/dev/null || true)
  if [ -n "$r" ]; then
    last=$r; [ "$r" -gt "$peak" ] && peak=$r
    [ "$at1" = 0 ] && [ $((SECONDS - start)) -ge 60 ] && at1=$r
    [ "$at10" = 0 ] && [ $((SECONDS - start)) -ge 600 ] && at10=$r
  fi
  t=$(ticks 2>/dev/null || true); [ -n "$t" ] && { t1=$t; w1=$(date +%s.%N); }
  sleep 2
done
wait "$pid" || true
sleep 1  # the simulator prints its counters as it ends

python3 - "$work" "$t0" "$t1" "$w0" "$w1" "$(getconf CLK_TCK)" "$first" "$last" "$peak" "$at1" "$at10" <<'PY'
import os, re, sys
work, t0, t1, w0, w1, hz, first, last, peak, at1, at10 = sys.argv[1:]
text = open(os.path.join(work, "stderr")).read()
def counters(prefix):
    lines = [l for l in text.splitlines() if l.startswith(prefix) and "=" in l]
    return dict((k, int(v)) for k, v in re.findall(r"(\w+)=(\d+)", lines[-1])) if lines else {}
box, prog = counters("quarn-boxsim:"), counters("quarn-dash:")
records = os.path.getsize(os.path.join(work, "soak.qz0")) // 48 if os.path.exists(os.path.join(work, "soak.qz0")) else 0
get = lambda d, k: d.get(k, -1)
print(f"box: {get(box, 'frames_answered')} frames answered, {get(box, 'bad_frames')} corrupted on purpose")
print(f"program: {get(prog, 'good_frames')} good frames, {get(prog, 'bad_frames')} rejected, {get(prog, 'link_failures')} link failures")
print(f"log: {get(prog, 'frames_for_log')} good frames while recording, {get(prog, 'records_written')} records written, {records} records in the file")
ok = get(prog, 'frames_for_log') == get(prog, 'records_written') == records
print("log complete:", "yes" if ok else "NO")
cpu = (int(t1) - int(t0)) / int(hz) / (float(w1) - float(w0)) * 100
print(f"CPU of quarn-dash: {cpu:.1f} % of one core")
marks = "".join(f", {int(v)/1024:.1f} MB at {m}" for v, m in ((at1, "1 min"), (at10, "10 min")) if int(v))
print(f"memory (RSS): {int(first)/1024:.1f} MB at the start{marks}, {int(last)/1024:.1f} MB at the end, peak {int(peak)/1024:.1f} MB")
sys.exit(0 if ok else 1)
PY
