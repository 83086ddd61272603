#!/usr/bin/env bash
# Real pictures for benchmarks and screenshots, taken from Debian packages (wallpapers, login
# previews, boot pictures, icons) and never committed. Usage: fetch-sample-media.sh [DIR]
# (default $TMPDIR/tersio-sample-media). Prints DIR/pictures, a flat folder of about 60 files.
set -euo pipefail
dir="${1:-${TMPDIR:-/tmp}/tersio-sample-media}"
out="$dir/pictures"
if [[ -f "$out/.complete" ]]; then
  echo "$out"
  exit 0
fi
mkdir -p "$dir/debs" "$out"
cd "$dir/debs"
for package in desktop-base gnome-backgrounds adwaita-icon-theme; do
  ls "${package}"_*.deb >/dev/null 2>&1 || apt-get download -q "$package" >&2
done
for deb in *.deb; do dpkg-deb -x "$deb" tree; done

copy() { # flat names from the package path: backgrounds-gnome-adwaita-l.webp
  local name="${1#tree/usr/share/}"
  cp "$1" "$out/${name//\//-}"
}
find tree/usr/share/backgrounds -name '*.webp' -size +10k | while read -r f; do copy "$f"; done
find tree/usr/share/desktop-base -name '*.jpg' | while read -r f; do copy "$f"; done
find tree/usr/share/desktop-base tree/usr/share/plymouth -name '*.png' -size +40k |
  while read -r f; do copy "$f"; done
find tree/usr/share/icons/Adwaita/256x256 tree/usr/share/icons/Adwaita/512x512 -name '*.png' |
  sort | head -n 30 | while read -r f; do copy "$f"; done
touch "$out/.complete"
echo "$out"
