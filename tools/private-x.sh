# shellcheck shell=bash
# Sourced by the screenshot scripts. start_private_x LOGDIR starts Xvfb on the
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

# extract_in_window WINDOW ADDRESS: once input opens, types ADDRESS into Text1
# and clicks Command1; X and Y are the window's position (getwindowgeometry).
extract_in_window() {
    # The address box opens once the version check has answered, about a second after start.
    sleep 3
    # Centres of Text1 and Command1 in the window's fixed pixel layout.
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    xdotool mousemove --sync $((X + 160)) $((Y + 49)) click 1
    xdotool key --clearmodifiers ctrl+a BackSpace
    xdotool type --delay 15 -- "$2"
    xdotool mousemove --sync $((X + 412)) $((Y + 48)) click 1
}
