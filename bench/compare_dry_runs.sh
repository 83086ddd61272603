#!/usr/bin/env bash
# Whether two tersio-cli builds read the same facts and plan the same outputs for a set of awkward
# stills: prints the differences of their `--dry-run --json` (with JPEG output and with the
# defaults) and exits 1 when there are any. Usage: compare_dry_runs.sh OLD_CLI NEW_CLI
# The stills are made here with ffmpeg, jpegtran, exiftool and heif-enc, mostly at photo sizes.
set -euo pipefail
old="$1" new="$2"
work="$(mktemp -d "${TMPDIR:-/tmp}/tersio-compare-XXXXXX")"
trap '[[ -n "${KEEP:-}" ]] || rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
src="$work/stills"
mkdir -p "$src"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
photo="testsrc2=s=3000x2000,noise=alls=20:allf=t"

ff -f lavfi -i "$photo" -frames:v 1 -q:v 3 "$src/portrait-exif6.jpg"
exiftool -q -Orientation#=6 -overwrite_original "$src/portrait-exif6.jpg"
ff -f lavfi -i "$photo" -frames:v 1 -q:v 3 "$src/mirrored-exif5.jpg"
exiftool -q -Orientation#=5 -overwrite_original "$src/mirrored-exif5.jpg"
# ffmpeg writes no grey JPEG (asked for one it writes colour): jpegtran drops the colour planes.
ff -f lavfi -i "$photo" -frames:v 1 -q:v 3 "$work/colour.jpg"
jpegtran -grayscale -outfile "$src/grey.jpg" "$work/colour.jpg"
ff -f lavfi -i "testsrc2=s=200x120" -frames:v 1 "$work/colour-small.jpg"
jpegtran -grayscale -outfile "$src/grey-small.jpg" "$work/colour-small.jpg"
# A wide-gamut photo: Adobe RGB from colord-data (Debian ships no Display P3 profile file).
ff -f lavfi -i "$photo" -frames:v 1 -q:v 3 "$src/wide-gamut.jpg"
exiftool -q "-ICC_Profile<=/usr/share/color/icc/colord/AdobeRGB1998.icc" -overwrite_original \
  "$src/wide-gamut.jpg"
ff -f lavfi -i "$photo,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='if(lt(X,W/2),0,255)'" \
  -frames:v 1 "$src/transparent.png"
ff -f lavfi -i "$photo,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='128+127*sin(X/50)'" \
  -frames:v 1 -pix_fmt ya8 "$src/grey-alpha.png"
ff -f lavfi -i "$photo,format=gray" -frames:v 1 "$src/grey.png"
ff -f lavfi -i "$photo,format=rgb48be" -frames:v 1 "$src/deep.png"
ff -f lavfi -i "testsrc2=s=640x360,format=pal8" -frames:v 1 "$src/palette.png"
ff -f lavfi -i "$photo,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='255*gt(Y,H/3)'" \
  -frames:v 1 -lossless 1 "$src/alpha-lossless.webp"
ff -f lavfi -i "$photo" -frames:v 1 -q:v 80 "$src/opaque.webp"
ff -f lavfi -i "testsrc2=s=1200x800" -frames:v 1 "$work/heic-source.png"
heif-enc -q 50 "$work/heic-source.png" -o "$src/phone.heic" >/dev/null
ff -f lavfi -i "testsrc2=s=320x240:r=5:d=2" -loop 0 "$src/animated.gif"
printf 'not a picture at all' >"$src/broken.jpg"
head -c 3000 "$src/grey.png" >"$src/cut-short.png"

for mode in jpeg default; do
  flags=()
  [[ "$mode" == jpeg ]] && flags=(--image-format jpeg)
  for which in old new; do
    cli="${!which}"
    "$cli" "${flags[@]}" --output "$work/out" --dry-run --json "$src" >"$work/$which-$mode.json"
  done
  if cmp -s "$work/old-$mode.json" "$work/new-$mode.json"; then
    echo "$mode: identical ($(jq '.items | length' "$work/new-$mode.json") stills)"
  else
    echo "$mode: the dry runs differ"
    diff <(jq -S . "$work/old-$mode.json") <(jq -S . "$work/new-$mode.json") || true
    status=1
  fi
done
exit "${status:-0}"
