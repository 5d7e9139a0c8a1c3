#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, only
# when something is missing. Runs "apt-get update" at most once.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev lld
  qt6-base-dev qt6-serialport-dev qt6-multimedia-dev libqcustomplot-dev libmuparser-dev
  xvfb xauth fonts-liberation2 imagemagick
  python3
  help2man dpkg-dev file lintian
  poppler-utils
)
# The export tests read MLG files back with a parser from the npm registry.
command -v npm >/dev/null || PACKAGES+=(nodejs npm)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  "$(dirname "$0")/install-test-readers.sh"
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
"$(dirname "$0")/install-test-readers.sh"
