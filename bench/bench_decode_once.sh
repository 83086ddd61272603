#!/usr/bin/env bash
# Decode-once figures: tersio-cli against the same ffmpeg argument lists run without it.
#   photos  real photographs (a Debian wallpaper package) through tersio-cli --jobs 2 and through
#           xargs -P2 running the argument lists its dry run prints
#   clip    a 4K HEVC clip panned over a real photo: tersio-cli (default outputs), its one-process
#           command run bare, and every output run alone one after another; peak memory of each
# Usage: bench/bench_decode_once.sh [photos|clip]... (both by default). BUILD (default ./build)
# must hold tersio-cli; CLIP_SECONDS (default 10) cuts a shorter clip from the 10 s pan.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${BUILD:-$root/build}/src/cli/tersio-cli"
work="${TMPDIR:-/tmp}/tersio-bench-decode-once"
mkdir -p "$work"
cd "$work"
export XDG_CONFIG_HOME="$work/config" # default settings, the user's store untouched
parts=("${@:-photos clip}")
parts=(${parts[*]})

fetch_photos() {
    [[ -d photos ]] && return
    apt-get download mate-backgrounds >/dev/null
    dpkg-deb -x mate-backgrounds_*.deb pkg
    mkdir -p photos
    find pkg/usr/share/backgrounds -type f \( -iname '*.jpg' -o -iname '*.png' \) \
        -exec cp {} photos/ \;
}

# Wall seconds, user+system seconds and peak resident kB of a command and its children.
timed() {
    /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null
    read -r wall user sys peak <"$work/time.txt"
    echo "$wall $(echo "$user + $sys" | bc) $peak"
}

# One shell script per planned process, from the dry run's "invocations" or "outputs".
scripts_from() { # json key dir
    rm -rf "$3" && mkdir -p "$3"
    python3 - "$1" "$2" "$3" <<'EOF'
import json, shlex, sys
plan = json.load(open(sys.argv[1]))
n = 0
for item in plan["items"]:
    for entry in item.get(sys.argv[2], []):
        n += 1
        with open(f"{sys.argv[3]}/{n:04d}.sh", "w") as f:
            f.write("exec /usr/bin/ffmpeg " + " ".join(map(shlex.quote, entry["arguments"])) + "\n")
EOF
}

ratio() { echo "scale=3; $1 / $2" | bc; }

if [[ " ${parts[*]} " == *" photos "* ]]; then
    fetch_photos
    count=$(ls photos | wc -l)
    "$cli" --dry-run --json --output "$work/out-plan" photos >photos.json
    scripts_from photos.json invocations photo-runs
    rm -rf out-cli out-plan
    read -r t_cli c_cli m_cli < <(timed "$cli" --quiet --jobs 2 --output "$work/out-cli" photos)
    mkdir -p out-plan
    read -r t_x c_x m_x < <(timed sh -c 'ls photo-runs/*.sh | xargs -P2 -n1 sh')
    echo "photos: $count files ($(ls photos | grep -ci '\.png$') PNG)"
    echo "  tersio-cli --jobs 2     ${t_cli} s wall, ${c_cli} s CPU"
    echo "  xargs -P2 same lists    ${t_x} s wall, ${c_x} s CPU"
    echo "  ratio (wall)            $(ratio "$t_cli" "$t_x")  (goal <= 1.03)"
fi

if [[ " ${parts[*]} " == *" clip "* ]]; then
    fetch_photos
    seconds="${CLIP_SECONDS:-10}"
    mkdir -p clip
    # The 10 s pan is made once (slow: 4K libx265); shorter clips are cut from it unchanged. The
    # camera moves sideways across the photo, as a phone pans: a steady translation, no zoom, with
    # a sensor's grain, which is what makes a phone spend its 40 Mbit/s on such a shot.
    if [[ ! -f clip/pan-10s.mp4 ]]; then
        photo=$(ls -S photos/*.jpg | head -1)
        frames=300
        /usr/bin/ffmpeg -hide_banner -loglevel error -nostdin -y -loop 1 -framerate 30 -i "$photo" \
            -f lavfi -i "sine=f=300:d=10" \
            -vf "scale=4608:2592:force_original_aspect_ratio=increase,crop=3840:2160:x='(iw-ow)*n/$frames':y='(ih-oh)/2',noise=alls=5:allf=t" \
            -frames:v "$frames" -c:v libx265 -preset ultrafast -b:v 40M -tag:v hvc1 \
            -x265-params log-level=error -pix_fmt yuv420p -c:a aac -shortest clip/pan-10s.mp4
    fi
    /usr/bin/ffmpeg -hide_banner -loglevel error -nostdin -y -i clip/pan-10s.mp4 -t "$seconds" \
        -c copy -tag:v hvc1 clip/pan.mp4
    "$cli" --dry-run --json --output "$work/clip/out-plan" clip/pan.mp4 >clip.json
    scripts_from clip.json invocations clip-fused
    scripts_from clip.json outputs clip-alone
    rm -rf clip/out-cli clip/out-plan && mkdir -p clip/out-plan
    read -r t_cli c_cli m_cli < <(timed "$cli" --quiet --output "$work/clip/out-cli" clip/pan.mp4)
    read -r t_one c_one m_one < <(timed sh -c 'for s in clip-fused/*.sh; do sh "$s"; done')
    read -r t_all c_all m_all < <(timed sh -c 'for s in clip-alone/*.sh; do sh "$s"; done')
    rate=$(/usr/bin/ffprobe -v error -select_streams v -show_entries format=bit_rate -of csv=p=0 clip/pan.mp4)
    echo "clip: ${seconds} s 3840x2160 HEVC at $((rate / 1000000)) Mbit/s, $(ls clip-alone | wc -l) outputs"
    echo "  tersio-cli              ${t_cli} s wall, ${c_cli} s CPU, peak ${m_cli} kB"
    echo "  one process, bare       ${t_one} s wall, ${c_one} s CPU, peak ${m_one} kB"
    echo "  each output alone       ${t_all} s wall, ${c_all} s CPU, peak ${m_all} kB"
    echo "  tersio / one process    $(ratio "$t_cli" "$t_one")  (goal <= 1.10)"
    echo "  each alone / tersio     $(ratio "$t_all" "$t_cli")  (goal >= 1.8)"
fi
