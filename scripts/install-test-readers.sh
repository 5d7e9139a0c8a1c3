#!/usr/bin/env bash
# Installs the outside readers the export tests read our files back with:
# the public MLG parser mlg-converter from the npm registry, pinned, into a
# folder of the build (never into the source tree). Without node or npm, or
# without the registry, it says so and the tests that need it skip.
#     scripts/install-test-readers.sh [FOLDER]   (default: build/npm)
set -uo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/npm}
version=0.8.1
if [ -f "$dir/node_modules/mlg-converter/package.json" ] &&
   grep -q "\"version\": \"$version\"" "$dir/node_modules/mlg-converter/package.json"; then
  exit 0
fi
if ! command -v npm >/dev/null; then
  echo "install-test-readers: npm is missing; the MLG read-back test will skip" >&2
  exit 0
fi
mkdir -p "$dir"
if ! npm install --no-save --no-audit --no-fund --prefix "$dir" "mlg-converter@$version" >/dev/null; then
  echo "install-test-readers: mlg-converter could not be installed; the MLG read-back test will skip" >&2
fi
exit 0
