#!/usr/bin/env bash
# Installs the built package into a fresh Debian 12 root with apt, as a user
# would on a new machine, and runs the demo there headless. Needs root,
# debootstrap and the Debian archive; the root is removed at the end.
#   scripts/try-package-debian12.sh [build dir]
set -euo pipefail
root_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root_dir/build}
deb=$(ls -t "$build"/package/quarn-dash_*.deb | head -n 1)
target=$(mktemp -d /tmp/quarn-debian12-XXXXXX)
cleanup() {
  umount "$target/proc" "$target/dev/pts" 2>/dev/null || true
  mount | grep -q " $target" || rm -rf "$target"
}
trap cleanup EXIT

debootstrap --variant=minbase bookworm "$target" http://deb.debian.org/debian
cp "$deb" "$target/tmp/"
cp /etc/resolv.conf "$target/etc/resolv.conf"
chroot "$target" /bin/sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends /tmp/$(basename "$deb")"

# The demo needs pseudo-terminals and /proc inside the root.
mount -t devpts devpts "$target/dev/pts" -o newinstance,ptmxmode=0666
[ -e "$target/dev/ptmx" ] || ln -sf pts/ptmx "$target/dev/ptmx"
mount -t proc proc "$target/proc"
chroot "$target" /bin/sh -c 'cd /tmp && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp \
  quarn-dash --demo --quit-after 8 --stats'
