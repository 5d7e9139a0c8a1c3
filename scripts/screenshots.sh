#!/usr/bin/env bash
# Runs the demo headless and saves pictures of the windows into
# docs/screenshots (dashboard, an alarm, night, the dashboard at 1366x768 and
# 800x480 by day and night, TPS tool, setup dialog, logging control, splash,
# every dial, the settings windows and alarm limits, the self test, a scope with a trace, the dyno
# and the log viewer).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out="$root/docs/screenshots"
mkdir -p "$out" "$build/demo"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
(cd "$build/demo" && "$build/bin/quarn-dash" --demo --screenshots "$out")
"$build/tests-bin/gauge_gallery" "$out" >/dev/null
"$build/tests-bin/settings_gallery" "$out" >/dev/null
"$build/tests-bin/self_test_shot" "$out" >/dev/null
"$build/tests-bin/scope_picture" "$out/scope.png" >/dev/null
"$build/tests-bin/dyno_picture" "$out" >/dev/null
"$build/tests-bin/viewer_pictures" "$out" >/dev/null 2>&1
ls "$out"
