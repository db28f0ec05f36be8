# shellcheck shell=bash
# Sourced by the screenshot scripts: start_private_x LOGDIR starts Xvfb on the
# first free display, adds its pid to the caller's pids array, exports DISPLAY
# and returns once the server answers.
start_private_x() {
    local log="$1/xvfb.log" display= n
    for n in $(seq 90 160); do
        if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then
            display=:$n
            break
        fi
    done
    [[ -n "$display" ]] || { echo "no free X display number" >&2; exit 1; }
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$log" 2>&1 &
    pids+=($!)
    export DISPLAY=$display
    for _ in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && break
        sleep 0.05
    done
    xdotool getdisplaygeometry >/dev/null || { cat "$log" >&2; exit 1; }
}
