#!/usr/bin/env bash
# Real photographs as a user has them, from Debian's wallpaper packages (mate-backgrounds and
# plasma-workspace-wallpapers), never committed: 20 JPEGs (up to 5640 × 3172) and 6 large PNGs.
# Usage: fetch-sample-photos.sh [DIR] (default $TMPDIR/tersio-sample-photos). Prints DIR/photos,
# a flat folder named after the package paths (mate-nature-LadyBird.jpg, Kite-2560x1600.jpg, ...).
set -euo pipefail
dir="${1:-${TMPDIR:-/tmp}/tersio-sample-photos}"
out="$dir/photos"
if [[ -f "$out/.complete-wallpapers" ]]; then
  echo "$out"
  exit 0
fi
mkdir -p "$dir/debs" "$out"
cd "$dir/debs"
for package in mate-backgrounds plasma-workspace-wallpapers; do
  ls "${package}"_*.deb >/dev/null 2>&1 || apt-get download -q "$package" >&2
  dpkg-deb -x "${package}"_*.deb tree
done
take() { # backgrounds/mate/nature/Dune.jpg -> mate-nature-Dune.jpg
  local name="${1#*/}"
  name="${name/\/contents\/images/}"
  cp "tree/usr/share/$1" "$out/${name//\//-}"
}
for f in Aqua Blinds Dune Garden LadyBird RainDrops Storm TwoWings Wood YellowFlower; do
  take "backgrounds/mate/nature/$f.jpg"
done
take backgrounds/mate/abstract/Elephants_5640x3172.jpg
for f in Autumn BytheWater ColdRipple ColorfulCups EveningGlow FallenLeaf Kite OneStandsOut; do
  take "wallpapers/$f/contents/images/2560x1600.jpg"
done
take wallpapers/SafeLanding/contents/images/5120x2880.jpg
for f in Altai/contents/images/5120x2880 Canopee/contents/images/3840x2160 \
  Kokkini/contents/images/3840x2160 Patak/contents/images/5120x2880 \
  IceCold/contents/images/5120x2880 Opal/contents/images/3840x2160; do
  take "wallpapers/$f.png"
done
touch "$out/.complete-wallpapers"
echo "$out"
