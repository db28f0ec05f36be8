#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine with the Qt prefix's and
# MinGW's DLLs on its path: CTest's launcher for the Windows suite, and handy
# by hand. Usage: tools/windows/wine-run.sh PROGRAM.exe [ARGS...]
# A QtTest program's log is written to a file and printed from there: under
# Wine its standard output never reaches a pipe. QT_* variables are handed on.
set -uo pipefail
source "$(dirname "$0")/common.sh"
win_wine_env
# Wine keeps QT_* variables from Windows programs unless they come as WINEQT_*.
for name in $(compgen -e); do
    [[ "$name" == QT_* ]] && export "WINE$name=${!name}"
done
program=$1
shift

case "$(basename "$program")" in
tst_*.exe)
    for arg in "$@"; do
        [[ "$arg" == -o ]] && exec "$win_wine" "$program" "$@"
    done
    log=$(mktemp --suffix=.txt)
    "$win_wine" "$program" "$@" -o "Z:$log,txt"
    rc=$?
    tr -d '\r' <"$log"
    rm -f "$log"
    exit $rc
    ;;
*)
    exec "$win_wine" "$program" "$@"
    ;;
esac
