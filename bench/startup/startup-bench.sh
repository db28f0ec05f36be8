#!/usr/bin/env bash
# Start-up cost of sonavex against a bare Qt Widgets window, on a virtual X
# server: time from exec to the window mapped on screen, and resident memory
# one second after exec. Runs alternate between the two programs; the best of
# five counts for each. The version check is sent to a closed loopback port,
# so it fails at once and never reaches a network.
#
# Usage: bench/startup/startup-bench.sh [build-dir] [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
sonavex="$build/bin/sonavex"
baseline="$build/bench/startup/startup_baseline"
for exe in "$sonavex" "$baseline"; do
    [[ -x "$exe" ]] || { echo "missing $exe: build the sonavex and startup_baseline targets" >&2; exit 1; }
done

if ! command -v Xvfb >/dev/null || ! command -v xwininfo >/dev/null; then
    [[ $(id -u) -eq 0 ]] || { echo "needs Xvfb and xwininfo (xvfb, x11-utils)" >&2; exit 1; }
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends xvfb x11-utils
fi

display=
for n in $(seq 91 140); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=:$n; break; fi
done
[[ -n "$display" ]] || { echo "no free X display number" >&2; exit 1; }
runtime=$(mktemp -d)
chmod 700 "$runtime"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true; rm -rf "$runtime"' EXIT
for _ in $(seq 200); do
    xwininfo -display "$display" -root >/dev/null 2>&1 && break
    sleep 0.05
done

# A loopback port nobody listens on.
proxy_port=
for p in $(seq 47001 47100); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then proxy_port=$p; break; fi
done
[[ -n "$proxy_port" ]] || { echo "no closed loopback port found" >&2; exit 1; }

now_ns() { date +%s%N; }

# measure TITLE EXE -> "milliseconds-to-mapped rss-kB-at-1s"
measure() {
    local title=$1 exe=$2 t0 t1 pid rss left
    t0=$(now_ns)
    env -u QT_QPA_PLATFORM DISPLAY="$display" http_proxy="http://127.0.0.1:$proxy_port" \
        HTTP_PROXY= no_proxy= XDG_RUNTIME_DIR="$runtime" "$exe" >/dev/null 2>"$runtime/stderr" &
    pid=$!
    until xwininfo -display "$display" -name "$title" 2>/dev/null | grep -q 'IsViewable'; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "$exe ended before showing:" >&2
            head -3 "$runtime/stderr" >&2
            return 1
        fi
        if (( ($(now_ns) - t0) > 30000000000 )); then
            echo "$exe: no window in 30 s" >&2
            kill "$pid"
            return 1
        fi
        sleep 0.005
    done
    t1=$(now_ns)
    left=$(( 1000000000 - (t1 - t0) ))
    if (( left > 0 )); then sleep "$(printf '0.%09d' "$left")"; fi
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "$(( (t1 - t0) / 1000000 )) $rss"
}

times=("" "")
best_time=(999999 999999)
best_rss=(999999999 999999999)
titles=("Sonavex V1.0" "Startup Baseline")
exes=("$sonavex" "$baseline")
for run in $(seq "$runs"); do
    for i in 0 1; do
        # The X server now and then refuses a connection among the many
        # the polling opens; such a run is repeated.
        result=
        for _ in 1 2 3; do
            result=$(measure "${titles[$i]}" "${exes[$i]}") && break
            result=
        done
        [[ -n "$result" ]] || { echo "giving up" >&2; exit 1; }
        read -r ms kb <<<"$result"
        printf '%-9s run %d: %5d ms  %7d kB\n' "$([[ $i == 0 ]] && echo sonavex || echo baseline)" \
            "$run" "$ms" "$kb"
        times[i]+="$ms "
        (( ms < best_time[i] )) && best_time[i]=$ms
        (( kb < best_rss[i] )) && best_rss[i]=$kb
    done
done

# The polling's own step is 5 ms of some 30: the median says more than the best.
median() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
m0=$(median "${times[0]}")
m1=$(median "${times[1]}")
echo "median of $runs: sonavex $m0 ms, baseline $m1 ms; ratio $(awk -v a="$m0" -v b="$m1" 'BEGIN { printf "%.2f", a / b }')"
echo "best of $runs: sonavex ${best_time[0]} ms, ${best_rss[0]} kB;" \
    "baseline ${best_time[1]} ms, ${best_rss[1]} kB"
awk -v a="${best_time[0]}" -v b="${best_time[1]}" -v c="${best_rss[0]}" -v d="${best_rss[1]}" \
    'BEGIN { printf "ratio time %.2f, ratio memory %.2f (aim: at most 1.50)\n", a / b, c / d }'
