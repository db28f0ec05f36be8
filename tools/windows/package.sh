#!/usr/bin/env bash
# Cross-builds Release Sonavex for 64-bit Windows and writes the portable zip
# build-win64/sonavex-<version>-win64.zip, whose one folder Sonavex\ holds the
# program, its skin, the Qt and MinGW DLLs and plugins it loads, TagLib, the
# demo service with its content, demo.cmd and README.txt. Prints the zip's
# path last. SONAVEX_WIN_PACKAGE_DIR overrides the build folder.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="${SONAVEX_WIN_PACKAGE_DIR:-$win_root/build-win64}"

win_need_packages "${win_build_packages[@]}" zip
"$win_here/build-deps.sh" >/dev/null
mapfile -t toolchain < <(win_cmake_args)

cmake -S "$win_root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${toolchain[@]}" \
    -DSONAVEX_BUILD_TESTS=OFF -DSONAVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target sonavex sonavex-demo-service -j2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

stage="$build/stage"
dir="$stage/Sonavex"
rm -rf "$stage"
mkdir -p "$dir"
strip=x86_64-w64-mingw32-strip

# Debug sections make up most of the prebuilt DLLs; users have no use for them.
put() { # SOURCE [FOLDER-IN-PACKAGE]
    local to="$dir/${2:-}"
    mkdir -p "$to"
    cp "$1" "$to/"
    [[ "$1" == *.exe || "$1" == *.dll ]] && "$strip" --strip-unneeded "$to/$(basename "$1")"
    return 0
}

put "$build/bin/sonavex.exe"
put "$build/bin/sonavex-demo-service.exe"
put "$win_root/resources/skin/skinh.she"
cp -r "$win_root/resources/demo" "$dir/demo"
# Only the plugins the tool loads: the window system, the native style,
# the picture formats song pages use (PNG is built in), the player and TLS.
for plugin in platforms/qwindows styles/qwindowsvistastyle imageformats/qjpeg imageformats/qgif \
    imageformats/qico multimedia/windowsmediaplugin tls/qschannelbackend; do
    put "$win_prefix/plugins/$plugin.dll" "$(dirname "$plugin")"
done
# Qt's own buttons in Chinese (是(&Y), 取消…), as Debian's Qt shows them.
put /usr/share/qt6/translations/qtbase_zh_CN.qm translations

# Texts for Windows: CR LF, and the README in UTF-8 with a byte-order mark so
# Notepad reads it as UTF-8.
sed 's/$/\r/' "$win_root/resources/windows/demo.cmd" >"$dir/demo.cmd"
{ printf '\xEF\xBB\xBF'; sed 's/$/\r/' "$win_root/resources/windows/README.txt"; } >"$dir/README.txt"

# Every DLL the programs and plugins import, followed through the DLLs they
# bring: from the folder, else the Qt prefix or MinGW (then copied), else it
# must be one of Windows' own.
system_dlls=$(grep -v '^#' "$win_here/system-dlls.txt")
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }
missing=()
queue=()
while IFS= read -r -d '' f; do queue+=("$f"); done < <(find "$dir" \( -name '*.exe' -o -name '*.dll' \) -print0)
declare -A seen=()
while ((${#queue[@]})); do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    while read -r dll; do
        lower=${dll,,}
        [[ -n "${seen[$lower]:-}" ]] && continue
        seen[$lower]=1
        [[ -f "$dir/$dll" ]] && continue
        if grep -qxF "$lower" <<<"$system_dlls" || [[ "$lower" == api-ms-win-* ]]; then
            continue
        fi
        found=
        for from in "$win_prefix/bin" "$win_gcc_dlls" "$win_pthread_dlls"; do
            [[ -f "$from/$dll" ]] && { found="$from/$dll"; break; }
        done
        if [[ -n "$found" ]]; then
            put "$found"
            queue+=("$dir/$dll")
        else
            missing+=("$dll (imported by $(basename "$file"))")
        fi
    done < <(imports "$file")
done
if ((${#missing[@]})); then
    printf 'missing DLL: %s\n' "${missing[@]}" >&2
    exit 1
fi

# Names in a zip have no agreed encoding: ASCII only.
if find "$dir" | LC_ALL=C grep -q '[^ -~]'; then
    echo "non-ASCII file names in the package:" >&2
    find "$dir" | LC_ALL=C grep '[^ -~]' >&2
    exit 1
fi

zipfile="$build/sonavex-$version-win64.zip"
rm -f "$zipfile"
(cd "$stage" && find Sonavex -type f | LC_ALL=C sort | zip -q -X -9 "$zipfile" -@)
size=$(stat -c %s "$zipfile")
limit=$((20 * 1024 * 1024))
((size <= limit)) || { echo "$zipfile is $size bytes, over $limit" >&2; exit 1; }
echo "$(find "$dir" -type f | wc -l) files, $size bytes" >&2
echo "$zipfile"
