#!/usr/bin/env bash
# Real photographs for benchmarks and screenshots, taken from Debian's mate-backgrounds and never
# committed. Usage: fetch-sample-photos.sh [DIR] (default $TMPDIR/tersio-sample-photos). Prints
# DIR/photos, a flat folder of its JPEGs (the nature set, 2560 × 1600 and smaller, and one of
# 5640 × 3172).
set -euo pipefail
dir="${1:-${TMPDIR:-/tmp}/tersio-sample-photos}"
out="$dir/photos"
if [[ -f "$out/.complete" ]]; then
  echo "$out"
  exit 0
fi
mkdir -p "$dir/debs" "$out"
cd "$dir/debs"
ls mate-backgrounds_*.deb >/dev/null 2>&1 || apt-get download -q mate-backgrounds >&2
dpkg-deb -x mate-backgrounds_*.deb tree
cp tree/usr/share/backgrounds/mate/nature/*.jpg "$out/"
cp tree/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg "$out/"
touch "$out/.complete"
echo "$out"
