#!/usr/bin/env bash
# Runs Debian's lintian on the package in the folder given (the newest .deb
# there) and fails on any error, warning or informational note it reports.
# The package's own overrides (usr/share/lintian/overrides) are honoured.
set -euo pipefail
dir=${1:?usage: check-lintian.sh PACKAGE-FOLDER}
deb=$(ls -t "$dir"/quarn-dash_*.deb 2>/dev/null | head -n 1 || true)
if [ -z "$deb" ]; then
  echo "no quarn-dash_*.deb in $dir: build it with \"make package\"" >&2
  exit 1
fi
if ! command -v lintian >/dev/null; then
  echo "lintian is not installed: run scripts/install-deps.sh" >&2
  exit 1
fi
echo "lintian $deb"
# Exit status 2: a tag at one of these levels was reported (an override that
# no longer matches anything is one too); 1: lintian itself failed. Shown
# overrides would count as reported, so they are not shown.
status=0
report=$(lintian --fail-on error,warning,info --display-info --tag-display-limit 0 "$deb" 2>&1) ||
  status=$?
grep -v '^running with root privileges' <<<"$report" || true
case $status in
  0) ;;
  2) echo "FAIL: lintian reports the lines above" >&2; exit 1 ;;
  *) echo "FAIL: lintian did not run through (status $status)" >&2; exit 1 ;;
esac
