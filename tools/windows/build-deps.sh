#!/usr/bin/env bash
# Makes the Windows (x86_64) prefix the cross-build links against, and prints
# its path: Qt 6.4.2 (qtbase with Core, Gui, Widgets, Network and Test, no sql,
# D-Bus, print support, OpenSSL or tablet events; qtshadertools; qtmultimedia
# with the Windows Media Foundation backend) and TagLib 1.13, built from
# Debian 12's source packages with Debian's security patches, by Debian's
# MinGW-w64 (GCC 12, posix threads), with Debian's own Qt 6.4.2 as host tools.
#
# Does nothing when the prefix is complete for this recipe (a stamp in it
# holds the recipe's hash). When the shared prebuilt prefix is present, it is
# unpacked instead of building; SONAVEX_WIN_FROM_SOURCE=1 builds regardless.
# Building takes 20–50 minutes on 2 cores; finished steps are not redone.
#
# Usage: tools/windows/build-deps.sh [--dry-run | --fetch-only]
#   --dry-run     check the tools and that the sources can be fetched; build nothing
#   --fetch-only  fetch, unpack and patch the sources; build nothing
# SONAVEX_WIN_PREFIX  the prefix (default $XDG_CACHE_HOME/sonavex/win64-6.4.2)
# SONAVEX_WIN_WORK    sources and build trees (default $XDG_CACHE_HOME/sonavex/win64-work)
# SONAVEX_JOBS        parallel compile jobs (default 2)
set -euo pipefail
source "$(dirname "$0")/common.sh"
work="${SONAVEX_WIN_WORK:-$win_cache/win64-work}"
jobs="${SONAVEX_JOBS:-2}"
dry=0
fetch_only=0
case "${1:-}" in
--dry-run) dry=1 ;;
--fetch-only) fetch_only=1 ;;
"") ;;
*) echo "usage: $0 [--dry-run | --fetch-only]" >&2; exit 2 ;;
esac

if win_prefix_complete; then
    echo "$win_prefix"
    exit 0
fi

# TagLib's pkg-config file names the folder it was installed to; taken from
# the file's own place instead, the prefix works wherever it is unpacked.
relocate_taglib_pc() {
    local pc="$win_prefix/lib/pkgconfig/taglib.pc"
    sed -i -E 's#^prefix=.*#prefix=${pcfiledir}/../..#;
        s#^(exec_prefix|libdir|includedir)=[^$].*/(lib|include)$#\1=${prefix}/\2#;
        s#^exec_prefix=[^$].*#exec_prefix=${prefix}#' "$pc"
    grep -q '^prefix=${pcfiledir}' "$pc"
}

if [[ -f "$win_tarball" && "${SONAVEX_WIN_FROM_SOURCE:-}" != 1 ]] && ((!fetch_only)); then
    if ((dry)); then
        echo "would unpack $win_tarball into $win_prefix"
        exit 0
    fi
    stamp=$(win_expected_stamp)
    mkdir -p "$win_cache"
    scratch=$(mktemp -d "$win_cache/unpack.XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
    tar -xJf "$win_tarball" -C "$scratch"
    top=("$scratch"/*)
    [[ ${#top[@]} -eq 1 && -f "${top[0]}/lib/cmake/Qt6/qt.toolchain.cmake" ]] ||
        { echo "$win_tarball holds no Qt prefix" >&2; exit 1; }
    rm -rf "$win_prefix"
    mkdir -p "$(dirname "$win_prefix")"
    mv "${top[0]}" "$win_prefix"
    relocate_taglib_pc
    echo "$stamp" >"$win_stamp"
    echo "$win_prefix"
    exit 0
fi

win_need_packages "${win_build_packages[@]}" patch perl xz-utils debian-archive-keyring ca-certificates

# Debian's sources through a private apt configuration: the system's own
# archives with deb-src added, lists kept in the work folder, system untouched.
mkdir -p "$work/apt/sources" "$work/apt/lists/partial" "$work/src"
for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" ]] && sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$work/apt/sources/$(basename "$f")"
done
if [[ -f /etc/apt/sources.list ]]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
        >"$work/apt/sources/system.list" || true
fi
apt_private=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/apt/sources"
    -o Dir::State::Lists="$work/apt/lists")
sources=(qt6-base qt6-shadertools qt6-multimedia taglib)

if ((dry)); then
    apt-get "${apt_private[@]}" update -qq
    (cd "$work/src" && apt-get "${apt_private[@]}" source --print-uris "${sources[@]}" |
        grep -oE "[^/']+\.(dsc|tar\.[a-z]+)'" | tr -d "'")
    for t in x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres \
        cmake ninja /usr/lib/qt6/libexec/moc /usr/lib/qt6/bin/qsb; do
        command -v "$t" >/dev/null || { echo "missing: $t" >&2; exit 1; }
    done
    echo "would build into $win_prefix in $work"
    exit 0
fi

cd "$work"
if [[ ! -f src.done ]]; then
    apt-get "${apt_private[@]}" update -qq
    (cd src && apt-get "${apt_private[@]}" source --download-only "${sources[@]}")
    rm -rf tree && mkdir tree
    for t in src/*.orig.tar.*; do tar -xf "$t" -C tree; done
    # Each package's Debian patches for security fixes (named after their
    # CVE), in Debian's order; not its Debian-specific build changes. As
    # quilt does, forced: one patch file may change a file more than once.
    for pkg in qt6-base:qtbase qt6-shadertools:qtshadertools qt6-multimedia:qtmultimedia \
        taglib:taglib; do
        name=${pkg%%:*}
        dir=$(ls -d tree/"${pkg#*:}"*/ | head -n1)
        mkdir -p "debian/$name"
        tar -xf src/"${name}"_*.debian.tar.* -C "debian/$name"
        series="debian/$name/debian/patches/series"
        [[ -f "$series" ]] || continue
        { grep -iE '^[^#]*cve' "$series" || true; } | while read -r p _; do
            echo "applying $name $p"
            patch -d "$dir" -p1 --force --no-backup-if-mismatch <"debian/$name/debian/patches/$p"
        done
    done
    # Without it the player crashes where there is no audio backend.
    patch -d tree/qtmultimedia-everywhere-src-6.4.2 -p1 --force --no-backup-if-mismatch \
        <debian/qt6-multimedia/debian/patches/provide_default_implementation_for_qplatformmediadevices.patch
    touch src.done
fi
if ((fetch_only)); then
    echo "$work/tree"
    exit 0
fi

release=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF)

if [[ ! -f qtbase.done ]]; then
    rm -rf b-qtbase
    # Tablet events off: Debian's source lacks their headers. OpenGL and
    # Direct2D stay on: without either, the Windows platform plugin fails to
    # build or link in 6.4.2.
    cmake -S tree/qtbase-everywhere-src-6.4.2 -B b-qtbase "${release[@]}" \
        -DCMAKE_TOOLCHAIN_FILE="$win_root/cmake/windows/mingw64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$win_prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_openssl=OFF -DFEATURE_tabletevent=OFF -DFEATURE_icu=OFF
    cmake --build b-qtbase -j"$jobs"
    cmake --install b-qtbase
    touch qtbase.done
fi

qtcmake="$win_prefix/bin/qt-cmake-private"
if [[ ! -f qtshadertools.done ]]; then
    rm -rf b-qtshadertools
    "$qtcmake" -S tree/qtshadertools-everywhere-src-6.4.2 -B b-qtshadertools "${release[@]}"
    cmake --build b-qtshadertools -j"$jobs"
    cmake --install b-qtshadertools
    touch qtshadertools.done
fi

if [[ ! -f qtmultimedia.done ]]; then
    # MinGW's Windows headers and libraries are in lower case; qtmultimedia
    # names some in mixed case (Mfapi.h, Mf, InitGuid.h, "QUrl.h"), which a
    # case-sensitive file system does not match, and then quietly builds
    # without Media Foundation. Links under the names it asks for fix that.
    mm=tree/qtmultimedia-everywhere-src-6.4.2
    inc=/usr/x86_64-w64-mingw32/include
    links="$work/case-links"
    rm -rf "$links" && mkdir -p "$links/include"
    grep -rhoE '#\s*include\s*[<"][A-Za-z0-9_./]+[>"]' "$mm/src" |
        sed -E 's/.*[<"]([^>"]+)[>"]/\1/' | sort -u | while read -r h; do
        lower=$(tr 'A-Z' 'a-z' <<<"$h")
        if [[ ! -e "$inc/$h" && "$lower" != "$h" && -e "$inc/$lower" ]]; then
            mkdir -p "$links/include/$(dirname "$h")"
            ln -sf "$inc/$lower" "$links/include/$h"
        fi
    done
    ln -sf "$win_prefix/include/QtCore/qurl.h" "$links/include/QUrl.h"
    wmf=()
    for lib in MF MFUUID MFPLAT MFCORE PROPSYS; do
        wmf+=("-DWMF_${lib}_LIBRARY=/usr/x86_64-w64-mingw32/lib/lib${lib,,}.a")
    done
    rm -rf b-qtmultimedia
    "$qtcmake" -S "$mm" -B b-qtmultimedia "${release[@]}" "${wmf[@]}" \
        -DCMAKE_C_FLAGS="-I$links/include" -DCMAKE_CXX_FLAGS="-I$links/include" \
        -DFEATURE_ffmpeg=OFF -DFEATURE_spatialaudio=OFF -DFEATURE_spatialaudio_quick3d=OFF |
        tee qtmultimedia-configure.log
    # Without Media Foundation the Windows player would have no backend at all.
    grep -qE 'Windows Media Foundation[ .]*yes' qtmultimedia-configure.log ||
        { echo "qtmultimedia: Windows Media Foundation is off" >&2; exit 1; }
    cmake --build b-qtmultimedia -j"$jobs"
    cmake --install b-qtmultimedia
    touch qtmultimedia.done
fi

if [[ ! -f taglib.done ]]; then
    rm -rf b-taglib
    cmake -S "$(ls -d tree/taglib-1.13*/ | head -n1)" -B b-taglib -G Ninja \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$win_root/cmake/windows/mingw64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$win_prefix" -DBUILD_SHARED_LIBS=ON -DBUILD_BINDINGS=OFF \
        -DBUILD_TESTING=OFF -DWITH_ZLIB=OFF
    cmake --build b-taglib -j"$jobs"
    cmake --install b-taglib
    touch taglib.done
fi

relocate_taglib_pc
win_recipe_stamp >"$win_stamp"
echo "$win_prefix"
