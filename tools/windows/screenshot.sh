#!/usr/bin/env bash
# Takes a picture of the Windows build under Wine on a private X server: the
# portable zip is unpacked into a folder with a Chinese name and started
# through its demo.cmd, so the demo service answers every request locally.
# Prints how long the window took to appear.
#
# Usage: tools/windows/screenshot.sh [--extract ADDRESS [--download]] [--wait SECONDS] [--zip ZIP] OUT.png
#   --extract ADDRESS  once input opens, type ADDRESS and click 提取信息
#   --download         then click 下载音乐, accept the suggested name, and print
#                      where the song was saved
#   --wait SECONDS     settle time before the picture (default 3)
#   --zip ZIP          this zip instead of building one with package.sh
set -euo pipefail
# A Wine prefix of its own, so that stopping it touches nothing else.
export SONAVEX_WINEPREFIX="${SONAVEX_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/sonavex/wine64-screenshot}"
source "$(dirname "$0")/common.sh"

address=
download=0
settle=3
zipfile=
out=
while (($#)); do
    case "$1" in
    --extract) address=${2:?--extract needs an address}; shift 2 ;;
    --download) download=1; shift ;;
    --wait) settle=${2:?--wait needs seconds}; shift 2 ;;
    --zip) zipfile=${2:?--zip needs a file}; shift 2 ;;
    -h | --help) sed -n '2,14p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) out=$1; shift ;;
    esac
done
[[ -n "$out" ]] || {
    echo "usage: $0 [--extract ADDRESS [--download]] [--wait SECONDS] [--zip ZIP] OUT.png" >&2
    exit 2
}
out=$(realpath -m "$out")

win_need_packages "${win_run_packages[@]}" xdotool imagemagick unzip
[[ -n "$zipfile" ]] || zipfile=$("$win_here/package.sh" | tail -n1)
win_wine_prefix
win_wine_env
unset WINEPATH # the zip's folder must hold everything itself

scratch=$(mktemp -d)
pids=()
cleanup() {
    wineserver -k 2>/dev/null || true
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

folder="$scratch/歌曲 工具"
mkdir -p "$folder"
unzip -q "$zipfile" -d "$folder"

source "$win_root/tools/private-x.sh"
start_private_x "$scratch"

# Proxy variables from this shell must not reach the demo's programs.
started=$(date +%s%N)
(cd "$folder/Sonavex" && env -u http_proxy -u HTTP_PROXY -u no_proxy -u NO_PROXY \
    "$win_wine" cmd /c demo.cmd >"$scratch/demo.log" 2>&1) &
pids+=($!)
window=$(timeout 60 xdotool search --sync --onlyvisible --name "Sonavex V1.0" | head -n1) || {
    cat "$scratch/demo.log" >&2
    exit 1
}
shown=$(date +%s%N)
echo "window shown $(((shown - started) / 1000000)) ms after start (Wine)"
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT

[[ -z "$address" ]] || extract_in_window "$window" "$address"

if ((download)); then
    downloads="$WINEPREFIX/drive_c/users/$(id -un)/Downloads"
    rm -f "$downloads"/*.mp3
    sleep 2
    xdotool mousemove --sync $((X + 444)) $((Y + 256)) click 1 # 下载音乐
    # The save dialog opens on the suggested name; Return accepts it.
    dialog=$(timeout 30 xdotool search --sync --onlyvisible --name "保存音乐" | head -n1)
    xdotool windowfocus --sync "$dialog" 2>/dev/null || true
    xdotool key --window "$dialog" Return
    for _ in $(seq 100); do
        compgen -G "$downloads/*.mp3" >/dev/null && break
        sleep 0.1
    done
    sleep 1
    ls -l "$downloads"/*.mp3 || { echo "no song saved in $downloads" >&2; exit 1; }
    mkdir -p "$(dirname "$out")"
    cp "$downloads"/*.mp3 "$(dirname "$out")/"
fi

sleep "$settle"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "saved $out (${WIDTH}x${HEIGHT} window at $X,$Y on $DISPLAY)"
