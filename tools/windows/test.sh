#!/usr/bin/env bash
# Cross-builds the whole test suite for 64-bit Windows (Debug, -Werror, no
# sanitizers) and runs every test program under Wine on a private X server.
# Needs a Windows Qt prefix: the shared prebuilt one is unpacked when present,
# else tools/windows/build-deps.sh builds one (20–50 minutes on 2 cores).
# Arguments go to ctest. SONAVEX_WIN_BUILD_DIR overrides the build folder
# (default build-win64-test/).
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="${SONAVEX_WIN_BUILD_DIR:-$win_root/build-win64-test}"

win_need_packages "${win_build_packages[@]}" "${win_run_packages[@]}"
"$win_here/build-deps.sh" >/dev/null
mapfile -t toolchain < <(win_cmake_args)

start=$(date +%s)
mkdir -p "$build"
cmake -S "$win_root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "${toolchain[@]}" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$win_here/wine-run.sh" \
    -DSONAVEX_WERROR=ON -DSONAVEX_BUILD_BENCH=OFF >"$build/configure.log"
# The tests left out of this suite, each with its reason.
grep -E '^-- [a-z_]+ (disabled|not built):' "$build/configure.log" | sed 's/^-- /Not in the Windows suite: /' || true
cmake --build "$build" -j2
built=$(date +%s)
win_wine_prefix

# The offscreen platform finds fonts only in QT_QPA_FONTDIR; Chinese needs one.
# Under Wine the build machine's files are on drive Z:.
export QT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/wqy
export SONAVEX_WIN_PREFIX="$win_prefix" SONAVEX_WINEPREFIX="$win_wineprefix"
rc=0
(cd "$build" && xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --output-on-failure --timeout 300 --repeat after-timeout:3 -j2 "$@") || rc=$?
ended=$(date +%s)

# Every skipped test function or row, with its reason.
log="$build/Testing/Temporary/LastTest.log"
if [[ -f "$log" ]] && grep -q '^SKIP' "$log"; then
    echo "Skipped under Wine:"
    grep '^SKIP' "$log" | sed -E 's/^SKIP +: /  /' | sort -u
fi
echo "Windows suite: build $((built - start)) s, Wine run $((ended - built)) s"
exit $rc
