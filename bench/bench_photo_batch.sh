#!/usr/bin/env bash
# A folder of real photographs through tersio-cli against the very same ffmpeg argument lists and
# post-steps (from `--dry-run --json`) run by `xargs -P2`: the ratio is what the engine itself
# costs. Usage: bench_photo_batch.sh [jpeg|default ...] (both when none is given).
# TERSIO_CLI picks the program (default: build/src/cli/tersio-cli of this checkout);
# TERSIO_BENCH_CACHE the folder for the packages and photos (default $TMPDIR/tersio-bench-photo-batch).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${TERSIO_CLI:-$root/build/src/cli/tersio-cli}"
cache="${TERSIO_BENCH_CACHE:-${TMPDIR:-/tmp}/tersio-bench-photo-batch}"
modes=("$@")
((${#modes[@]})) || modes=(jpeg default)
for tool in jq jpegtran pngquant optipng ffmpeg bc; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done
[[ -x "$cli" ]] || { echo "no tersio-cli at $cli (build it, or set TERSIO_CLI)" >&2; exit 2; }

# --- set-up: photographs as a user has them, from Debian's wallpaper packages -----------------
photos="$("$root/bench/fetch-sample-photos.sh" "$cache")"

work="$(mktemp -d "${TMPDIR:-/tmp}/tersio-photo-batch-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" # the stored settings are never the user's
"$cli" --print-settings >"$work/defaults.json"

# One process as the engine runs it: ffmpeg (its outputs and their score references), then per
# output the post-steps the plan names and the score, with programs standing for the work the
# engine does in-process: jpegtran for the lossless progressive re-pack, ffmpeg's ssim filter for
# the palette's look check, optipng for the PNG squeeze.
cat >"$work/steps.sh" <<'STEPS'
# invocation ALPHA FFMPEG ARGUMENTS...: runs the process, then `output` for each line of
# $work_outputs ("GREY SOURCE DEST POST...", one per destination of the process).
invocation() {
  local alpha="$1" ffmpeg="$2" refs=() grey source dest post
  shift 2
  for a; do [[ "$a" == *.reference.fits ]] && refs+=("$a"); done
  mkdir -p "$(dirname "${@: -1}")"
  "$ffmpeg" "$@" || exit 1
  while read -r grey source dest post; do
    output "$alpha" "$grey" "$source" "$dest" "$post"
    local ref="${refs[0]:-}"
    for r in "${refs[@]}"; do [[ "$r" == "$dest.reference.fits" ]] && ref="$r"; done
    # No reference: the output is its source as it is (the engine reads the source in-process).
    if [[ -n "$ref" ]]; then score "$ffmpeg" "$alpha" "$dest" -f fits -i "$ref"
    else score "$ffmpeg" "$alpha" "$dest" -i "$source"; fi
  done <<<"$outputs"
  rm -f "${refs[@]}"
}

# score FFMPEG ALPHA DEST INPUT...: the score of one output against its reference (the INPUT
# arguments that read it), as the engine measures it.
score() {
  local ffmpeg="$1" alpha="$2" dest="$3" written literal=()
  shift 3
  written='noformat=pix_fmts=pal8|gbrp|gbrap'
  [[ "$alpha" == true ]] && written='format=rgba,split[w_bg][w_fg];[w_bg]lutrgb=r=255:g=255:b=255:a=255[w_white];[w_white][w_fg]overlay=format=auto'
  case "$dest" in *.jpg | *.png | *.webp) literal=(-f image2 -pattern_type none) ;; esac
  "$ffmpeg" -hide_banner -nostdin -y -loglevel error "$@" "${literal[@]}" -i "$dest" \
    -filter_complex "[0:V:0]noformat=pix_fmts=pal8|gbrp|gbrap,format=gbrp[ref];[1:V:0]$written,format=gbrp[out];[ref][out]ssim=stats_file=/dev/stderr" \
    -frames:v 1 -f null - 2>/dev/null
}

# output ALPHA GREY SOURCE DEST "POST...": the post-steps of one written output.
output() {
  local alpha="$1" grey="$2" source="$3" dest="$4" post="$5" palette=false
  for step in $post; do
    case "$step" in
    jpeg-lossless-progressive)
      local g=()
      [[ "$grey" == true ]] && g=(-grayscale)
      jpegtran -copy none -optimize -progressive "${g[@]}" -outfile "$dest.rp" "$dest" &&
        mv "$dest.rp" "$dest"
      ;;
    png-palette)
      local nofs=() ssim graph
      [[ "$alpha" == true ]] && nofs=(--nofs)
      if pngquant --force --speed 7 --output "$dest.pal.png" "${nofs[@]}" --strip -- "$dest"; then
        # Packed RGB first: ffmpeg 5.1 makes planar RGB of a palette with wrong colours.
        graph='[0:v]format=rgb24,format=gbrp[r];[1:v]format=rgb24,format=gbrp[c];'
        ssim=$(ffmpeg -hide_banner -nostdin -loglevel error -f image2 -pattern_type none \
          -i "$dest" -f image2 -pattern_type none -i "$dest.pal.png" -filter_complex \
          "$graph[r][c]ssim=stats_file=-[white]" \
          -map '[white]' -f null - | sed -n 's/.*All:\([0-9.]*\).*/\1/p')
        if awk -v s="${ssim:-0}" 'BEGIN { exit !(s >= 0.965) }' &&
          (($(stat -c %s "$dest.pal.png") < $(stat -c %s "$dest"))); then
          mv "$dest.pal.png" "$dest"
          palette=true
        fi
        rm -f "$dest.pal.png"
      fi
      ;;
    png-lossless-squeeze) [[ "$palette" == true ]] || optipng -quiet -o1 -- "$dest" ;;
    source-if-smaller)
      if (($(stat -c %s "$dest") > $(stat -c %s "$source"))); then
        case "$dest" in
        *.jpg) jpegtran -copy none -optimize -progressive -outfile "$dest" "$source" ;;
        *) cp "$source" "$dest" ;;
        esac
      fi
      ;;
    esac
  done
}
STEPS

seconds() { # wall-clock seconds of a command
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>"$work/last.err" || { cat "$work/last.err" >&2; return 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

echo "photos: $(find "$photos" -name '*.jpg' | wc -l) JPEG, $(find "$photos" -name '*.png' | wc -l)" \
  "PNG, $(du -sh "$photos" | cut -f1); $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
for mode in "${modes[@]}"; do
  case "$mode" in
  jpeg) flags=(--image-format jpeg) ;;
  default) flags=() ;;
  *) echo "unknown part $mode (jpeg or default)" >&2; exit 2 ;;
  esac
  out="$work/out"
  common=(--settings "$work/defaults.json" "${flags[@]}" --output "$out")
  "$cli" "${common[@]}" --dry-run --json "$photos" >"$work/plan-$mode.json"
  # Each output becomes a script before the clock starts: the reference parses no JSON.
  rm -rf "$work/jobs" && mkdir "$work/jobs"
  # Per process: its outputs' lines, then the call; the processes are the dry run's invocations.
  jq -r '.tools.ffmpeg as $ffmpeg | .items[] | . as $i | .invocations[] |
    ([.destinations[] as $d | $i.outputs[] | select(.destination == $d) |
      "\($i.grey) \($i.source) \($d) \(.post | join(" "))"] | join("\n") | @sh),
    ([$i.hasAlpha, $ffmpeg] + .arguments | @sh)' \
    "$work/plan-$mode.json" >"$work/lines"
  outputs=$(jq '[.items[].invocations[].destinations[]] | length' "$work/plan-$mode.json")
  n=0
  while IFS= read -r lines && IFS= read -r call; do
    n=$((n + 1))
    printf '. %q\noutputs=%s\ninvocation %s\n' "$work/steps.sh" "$lines" "$call" >"$work/jobs/$n.sh"
    echo "$work/jobs/$n.sh"
  done <"$work/lines" >"$work/jobs.list"

  rm -rf "$out"
  engine=$(seconds "$cli" "${common[@]}" --quiet "$photos")
  engineBytes=$(du -sb "$out" | cut -f1)
  rm -rf "$out"
  reference=$(seconds xargs -d '\n' -P2 -n1 bash <"$work/jobs.list")
  referenceBytes=$(du -sb "$out" | cut -f1)
  rm -rf "$out"
  printf '%-8s %2d outputs  tersio-cli %7.2f s  xargs -P2 %7.2f s  ratio %.3f  (bytes %s / %s)\n' \
    "$mode" "$outputs" "$engine" "$reference" "$(echo "$engine / $reference" | bc -l)" \
    "$engineBytes" "$referenceBytes"
done
