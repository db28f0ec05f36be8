#!/usr/bin/env bash
# Regenerates resources/demo. Run by hand when the sample content changes; the
# build only serves what is committed. Needs gst-launch-1.0 with lamemp3enc
# (Debian: gstreamer1.0-tools, gstreamer1.0-plugins-ugly).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${1:-$root/build-demo-content}"
out="$root/resources/demo"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONAVEX_BUILD_TESTS=OFF \
    -DSONAVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target sonavex-demo-content

wav=$(mktemp --suffix=.wav)
trap 'rm -f "$wav"' EXIT
rm -rf "$out"
QT_QPA_PLATFORM=offscreen "$build/bin/sonavex-demo-content" "$out" "$wav"

mp3="$out/lzscuw.changba.com/84263517.mp3"
mkdir -p "$(dirname "$mp3")"
gst-launch-1.0 -q filesrc location="$wav" ! wavparse ! audioconvert ! audioresample \
    ! lamemp3enc target=bitrate bitrate=48 cbr=true ! filesink location="$mp3"

find "$out" -type f -printf '%s\t%P\n' | sort -k2
du -sh --apparent-size "$out"
