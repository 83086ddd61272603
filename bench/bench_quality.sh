#!/usr/bin/env bash
# Output scores and the automatic image quality on real photographs through tersio-cli.
# Usage: bench_quality.sh [score|auto ...] (both when none is given).
#   score: the time the score adds to an item, on a 12-megapixel photograph (4000 x 3000 JPEG,
#          cut from a 5120 x 2880 wallpaper and scaled up a little), at the default settings and
#          with no width cap; best of three runs.
#   auto:  20 JPEG photographs with --auto-quality close (TERSIO_BENCH_TARGET=same|close|small
#          picks another target): encodes per output, mean score and
#          bytes, against fixed qualities; the fixed quality that gives the same mean score is
#          found by interpolating between the two that bracket it.
# score adds the reference branch's cost (the dry run's process against the plan's own, both
# run bare) to the measure's (bench_score, which needs building). TERSIO_CLI picks the program (default build/src/cli/tersio-cli);
# TERSIO_BENCH_CACHE the folder for the packages and photos (shared with bench_photo_batch.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${TERSIO_CLI:-$root/build/src/cli/tersio-cli}"
cache="${TERSIO_BENCH_CACHE:-${TMPDIR:-/tmp}/tersio-bench-photo-batch}"
parts=("$@")
target="${TERSIO_BENCH_TARGET:-close}"
case "$target" in same) floor=0.98 ;; close) floor=0.96 ;; small) floor=0.94 ;;
*) echo "TERSIO_BENCH_TARGET is same, close or small" >&2; exit 2 ;; esac
((${#parts[@]})) || parts=(score auto)
for tool in jq ffmpeg bc; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done
[[ -x "$cli" ]] || { echo "no tersio-cli at $cli (build it, or set TERSIO_CLI)" >&2; exit 2; }

# --- set-up: the 20 JPEG photographs of Debian's wallpaper packages ---------------------------
photos="$cache/jpeg-photos"
if [[ ! -f "$photos/.complete" ]]; then
  all="$("$root/bench/fetch-sample-photos.sh" "$cache")"
  mkdir -p "$photos"
  cp "$all"/*.jpg "$photos/"
  touch "$photos/.complete"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/tersio-bench-quality-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" # the stored settings are never the user's
"$cli" --print-settings >"$work/defaults.json"

# ffmpeg that logs "<what> <seconds> <last argument>" for every process.
cat >"$work/ffmpeg" <<WRAP
#!/usr/bin/env bash
start=\$(date +%s.%N)
/usr/bin/ffmpeg "\$@"; status=\$?
end=\$(date +%s.%N)
what=encode; [[ "\$*" == *ssim=stats_file* ]] && what=score
echo "\$what \$(echo "\$end - \$start" | bc -l) \${@: -1}" >>"$work/ffmpeg.log"
exit \$status
WRAP
chmod +x "$work/ffmpeg"

# run OUT FLAGS... PATHS: tersio-cli with the wrapper; prints the wall seconds, keeps the JSON.
run() {
  local out="$1" start end
  shift
  rm -rf "$out" "$work/ffmpeg.log"
  start=$(date +%s.%N)
  "$cli" --settings "$work/defaults.json" --output "$out" --json "$@" \
    >"$work/run.json"
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
# The run finds the wrapper as the hand-picked ffmpeg of the settings store (ffprobe beside it).
ln -s /usr/bin/ffprobe "$work/ffprobe"
mkdir -p "$XDG_CONFIG_HOME/Veltrane"
printf '[General]\ntersio.ffmpegPath=%s\n' "$work/ffmpeg" >"$XDG_CONFIG_HOME/Veltrane/Tersio.conf"

echo "$(find "$photos" -name '*.jpg' | wc -l) photographs; $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
for part in "${parts[@]}"; do
  case "$part" in
  score)
    big="$work/twelve/photo-12mp.jpg"
    mkdir -p "$work/twelve"
    ffmpeg -hide_banner -loglevel error -i "$photos/SafeLanding-5120x2880.jpg" \
      -vf "crop=3840:2880,scale=4000:3000:flags=lanczos" -q:v 2 -y "$big"
    bench_score="${TERSIO_BENCH_SCORE:-$root/build/bench/bench_score}"
    [[ -x "$bench_score" ]] || { echo "no bench_score at $bench_score (build it)" >&2; exit 2; }
    # seconds <with> minus seconds <without>, each the best of nine runs taken in turns, so that
    # a busy moment of the machine spoils both alike: two ffmpeg argument lists, the first
    # ending at "--".
    branch() {
      local with=() without=() best=("" "") start end t k
      while [[ "$1" != "--" ]]; do with+=("$1"); shift; done
      shift
      without=("$@")
      for _ in 1 2 3 4 5 6 7 8 9; do
        for k in 0 1; do
          start=$(date +%s.%N)
          if ((k == 0)); then /usr/bin/ffmpeg "${with[@]}" 2>/dev/null; else /usr/bin/ffmpeg "${without[@]}" 2>/dev/null; fi
          end=$(date +%s.%N)
          t=$(echo "$end - $start" | bc -l)
          if [[ -z "${best[k]}" ]] || (($(echo "$t < ${best[k]}" | bc -l))); then best[k]="$t"; fi
        done
      done
      echo "${best[0]} - ${best[1]}" | bc -l
    }
    for flags in "" "--no-width-cap"; do
      best=""
      for _ in 1 2 3; do
        wall=$(run "$work/out" $flags "$big")
        if [[ -z "$best" ]] || (($(echo "$wall < $best" | bc -l))); then best="$wall"; fi
      done
      # What the score adds: the reference branch of the encode (the dry run's process against
      # the plan's own argument list, both run bare) and the measure itself (bench_score).
      rm -rf "$work/bare" && mkdir -p "$work/bare"
      "$cli" --settings "$work/defaults.json" --output "$work/bare" $flags --dry-run --json \
        "$big" >"$work/plan.json"
      mapfile -t with < <(jq -r '.items[0].invocations[0].arguments[]' "$work/plan.json")
      mapfile -t without < <(jq -r '.items[0].outputs[0].arguments[]' "$work/plan.json")
      referenceSeconds=$(branch "${with[@]}" -- "${without[@]}")
      reference=$(jq -r '.items[0].invocations[0].arguments[] | select(endswith(".reference.fits"))' \
        "$work/plan.json")
      # No reference when the output is the source as it is (no width cap): the score reads that.
      read -r measureMs ssim processMs _ < <("$bench_score" "$big" \
        "$(jq -r '.items[0].outputs[0].destination' "$work/plan.json")" ${reference:+"$reference"})
      added=$(echo "$referenceSeconds + $measureMs / 1000" | bc -l)
      printf 'score, 12 MP JPEG %-15s item %5.2f s  reference %5.3f s  measure %5.3f s (by an ffmpeg process %5.3f s)  share %4.1f %%  ssim %s\n' \
        "${flags:-(defaults)}" "$best" "$referenceSeconds" \
        "$(echo "$measureMs / 1000" | bc -l)" "$(echo "$processMs / 1000" | bc -l)" \
        "$(echo "100 * $added / $best" | bc -l)" "$ssim"
    done
    ;;
  auto)
    summarise() { # prints "<mean ssim> <total bytes> <outputs>"
      jq -r '[.items[].outputs[]] | "\(map(.ssim) | add / length) \(map(.bytes) | add) \(length)"' \
        "$work/run.json"
    }
    wall=$(run "$work/out" --auto-quality "$target" "$photos")
    read -r autoSsim autoBytes outputs < <(summarise)
    encodes=$(grep -c '^encode .*/\.[^/]*\.tersio-' "$work/ffmpeg.log" || true)
    qualities=$(jq -r '[.items[].outputs[].quality] | "\(min)–\(max), mean \(add / length)"' \
      "$work/run.json")
    misses=$(jq --argjson floor "$floor" '[.items[].outputs[] | select(.ssim < $floor)] | length' \
      "$work/run.json")
    most=$(grep -o '^encode .*/\.[^/]*\.tersio-' "$work/ffmpeg.log" | sed 's/^encode [0-9.]* //' |
      sort | uniq -c | sort -rn | awk 'NR == 1 { print $1 }')
    printf 'auto %s: %d outputs, %.2f encodes each (at most %d), qualities %s, mean ssim %.4f, %d below %s, %d bytes, %.1f s\n' \
      "$target" "$outputs" "$(echo "$encodes / $outputs" | bc -l)" "${most:-0}" "$qualities" "$autoSsim" \
      "$misses" "$floor" "$autoBytes" "$wall"
    prev=""
    for q in 40 55 70 78 85 92 96 100; do
      wall=$(run "$work/out" --image-quality "$q" "$photos")
      read -r ssim bytes _ < <(summarise)
      printf 'fixed %3d: mean ssim %.4f, %d bytes, %.1f s\n' "$q" "$ssim" "$bytes" "$wall"
      if [[ -n "$prev" ]]; then
        read -r pq pssim pbytes <<<"$prev"
        if (($(echo "$pssim <= $autoSsim && $autoSsim <= $ssim" | bc -l))); then
          same=$(echo "$pbytes + ($bytes - $pbytes) * ($autoSsim - $pssim) / ($ssim - $pssim)" | bc -l)
          printf 'same mean ssim at fixed quality %d–%d: %.0f bytes; automatic: %d bytes (%.1f %%)\n' \
            "$pq" "$q" "$same" "$autoBytes" "$(echo "100 * $autoBytes / $same" | bc -l)"
        fi
      fi
      prev="$q $ssim $bytes"
    done
    ;;
  *) echo "unknown part $part (score or auto)" >&2; exit 2 ;;
  esac
done
