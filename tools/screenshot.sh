#!/usr/bin/env bash
# Takes a picture of the running tool on a private X server, for reviewing the
# look without a desktop. The bundled demo service, when built, stands in for
# every remote host, so nothing leaves the machine.
#
# Usage: tools/screenshot.sh [--extract ADDRESS] [--wait SECONDS] [--full] OUT.png
#   --extract ADDRESS  once input opens, type ADDRESS and click 提取信息
#   --wait SECONDS     settle time before the picture (default 2)
#   --full             the whole screen instead of the main window's rectangle
# SONAVEX_BUILD_DIR overrides the build folder (default build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${SONAVEX_BUILD_DIR:-$root/build}"

address=
settle=2
full=0
out=
while (($#)); do
    case "$1" in
    --extract) address=${2:?--extract needs an address}; shift 2 ;;
    --wait) settle=${2:?--wait needs seconds}; shift 2 ;;
    --full) full=1; shift ;;
    -h | --help) sed -n '2,11p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) out=$1; shift ;;
    esac
done
[[ -n "$out" ]] || { echo "usage: $0 [--extract ADDRESS] [--wait SECONDS] [--full] OUT.png" >&2; exit 2; }
out=$(realpath -m "$out")

need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v import >/dev/null || need+=(imagemagick)
if ((${#need[@]})); then
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

targets=(sonavex)
[[ -f "$root/tools/demo-service/main.cpp" ]] && targets+=(sonavex-demo-service)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONAVEX_BUILD_TESTS=OFF \
    -DSONAVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j2

pids=()
scratch=$(mktemp -d)
cleanup() {
    local p
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        p=${pids[i]}
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

source "$root/tools/private-x.sh"
start_private_x "$scratch"

# Without the demo service, a proxy on a closed loopback port keeps every request local;
# without its content, it answers 404 to everything.
proxy=(http_proxy=http://127.0.0.1:9 HTTP_PROXY=http://127.0.0.1:9 no_proxy= NO_PROXY=)
if [[ -x "$build/bin/sonavex-demo-service" ]]; then
    content="$root/resources/demo"
    [[ -d "$content" ]] || content=$(mkdir "$scratch/empty" && echo "$scratch/empty")
    "$build/bin/sonavex-demo-service" --root "$content" \
        --port-file "$scratch/port" >"$scratch/demo.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        [[ -s "$scratch/port" ]] && break
        sleep 0.05
    done
    [[ -s "$scratch/port" ]] || { cat "$scratch/demo.log" >&2; exit 1; }
    url="http://127.0.0.1:$(cat "$scratch/port")"
    proxy=(http_proxy="$url" HTTP_PROXY="$url" no_proxy= NO_PROXY=)
fi

mkdir -m 0700 "$scratch/xdg"
env -u QT_QPA_PLATFORM "${proxy[@]}" XDG_RUNTIME_DIR="$scratch/xdg" \
    "$build/bin/sonavex" >"$scratch/sonavex.log" 2>&1 &
pids+=($!)

window=$(timeout 30 xdotool search --sync --onlyvisible --name "Sonavex V1.0" | head -n1) || {
    cat "$scratch/sonavex.log" >&2
    exit 1
}
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT

[[ -z "$address" ]] || extract_in_window "$window" "$address"

sleep "$settle"
if ((full)); then
    import -window root "$out"
else
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
fi
echo "saved $out (${WIDTH}x${HEIGHT} window at $X,$Y on $DISPLAY)"
