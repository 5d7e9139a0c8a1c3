#!/usr/bin/env bash
# Runs the dashboard against the simulated box, in build/demo with port 1
# saved. Without a display it runs on a virtual one for a few seconds and
# saves pictures of the windows instead.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
mkdir -p "$build/demo"
cd "$build/demo"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/bin/quarn-dash" --demo
fi
echo "No display found: running the demo on a virtual display and saving pictures."
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/quarn-dash" --demo --stats \
  --screenshots "$build/demo/screenshots"
echo "Pictures of the running dashboard: $build/demo/screenshots"
