# shellcheck shell=bash disable=SC2034
# Shared by the scripts in tools/windows/: where the Windows Qt prefix and the
# Wine prefix live, and how to get them ready. Sourced, never run.
# SONAVEX_WIN_PREFIX overrides the Qt prefix's folder; SONAVEX_WIN_TARBALL the
# prebuilt prefix used instead of building one (default: the shared copy).

win_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
win_here="$win_root/tools/windows"
win_cache="${XDG_CACHE_HOME:-$HOME/.cache}/sonavex"
win_prefix="${SONAVEX_WIN_PREFIX:-$win_cache/win64-6.4.2}"
win_tarball="${SONAVEX_WIN_TARBALL:-$win_root/../shared/win64/qt642-win64.tar.xz}"
win_stamp="$win_prefix/.sonavex-prefix"
# MinGW's own run-time DLLs, which every program and Qt DLL imports.
win_gcc_dlls=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
win_pthread_dlls=/usr/x86_64-w64-mingw32/lib
win_wine=/usr/lib/wine/wine64
win_wineprefix="${SONAVEX_WINEPREFIX:-$win_cache/wine64}"

win_sudo() {
    if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages named that are missing. Another engineer's
# apt-get may hold the lock: wait for it rather than fail.
win_need_packages() {
    local missing=() p status
    for p in "$@"; do
        status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
        [[ "$status" == "installed" ]] || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    echo "Installing: ${missing[*]}" >&2
    win_sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update -qq
    win_sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 \
        install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# What cross-building the program needs (the prefix brings Qt and TagLib).
win_build_packages=(cmake ninja-build pkg-config g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64 qt6-base-dev qt6-base-dev-tools qt6-shadertools-dev
    qt6-shader-baker qt6-translations-l10n)
# What running it under Wine, headless, needs.
win_run_packages=(wine wine64 xvfb xauth fonts-wqy-microhei)

win_sha256() { sha256sum "$1" | cut -d' ' -f1; }

# The stamp a complete prefix carries: which tarball it was unpacked from, or
# the hash of the recipe it was built by.
win_recipe_stamp() {
    echo "recipe $(cat "$win_here/build-deps.sh" "$win_root/cmake/windows/mingw64.cmake" |
        sha256sum | cut -d' ' -f1)"
}

win_expected_stamp() {
    if [[ -f "$win_tarball" && "${SONAVEX_WIN_FROM_SOURCE:-}" != 1 ]]; then
        echo "tarball $(win_sha256 "$win_tarball")"
    else
        win_recipe_stamp
    fi
}

# Complete: stamped for what would be made now. A prefix unpacked from a
# tarball stays usable when the tarball is gone.
win_prefix_complete() {
    [[ -f "$win_stamp" ]] || return 1
    local have
    have=$(cat "$win_stamp")
    [[ "$have" == "$(win_expected_stamp)" ]] && return 0
    [[ "$have" == tarball* && ! -f "$win_tarball" ]]
}

# Whether the Windows suite can run without building Qt (20–50 minutes).
win_prefix_available() {
    win_prefix_complete || [[ -f "$win_tarball" && "${SONAVEX_WIN_FROM_SOURCE:-}" != 1 ]]
}

# The configure arguments that cross-build this project against the prefix.
win_cmake_args() {
    echo "-DCMAKE_TOOLCHAIN_FILE=$win_prefix/lib/cmake/Qt6/qt.toolchain.cmake"
    echo "-DQT_CHAINLOAD_TOOLCHAIN_FILE=$win_root/cmake/windows/mingw64.cmake"
}

# Wine's Windows environment: the prefix's DLLs and MinGW's beside the path.
win_wine_env() {
    export WINEPREFIX="$win_wineprefix" WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEPATH="$win_prefix/bin;$win_gcc_dlls;$win_pthread_dlls"
}

# A Wine prefix made without any prompt, with a Chinese font registered so
# that the Windows platform plugin draws Chinese text.
win_wine_prefix() {
    (
        win_wine_env
        [[ -f "$WINEPREFIX/.sonavex-ready" ]] && exit 0
        mkdir -p "$WINEPREFIX"
        wineboot -u >/dev/null 2>&1 || true
        wineserver -w
        local font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
        cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
        "$win_wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
            /v 'WenQuanYi Micro Hei & WenQuanYi Micro Hei Mono (TrueType)' /t REG_SZ \
            /d wqy-microhei.ttc /f >/dev/null
        # No sound card here: without a driver, Wine neither probes ALSA nor floods the log.
        "$win_wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d '' /f >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.sonavex-ready"
    )
}
