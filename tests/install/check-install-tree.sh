#!/usr/bin/env bash
# Usage: check-install-tree.sh BUILD PREFIX BINDIR LIBDIR DATADIR
# Installs BUILD into a fresh DESTDIR and checks the tree: bin/ holds only a
# relative link into the program folder, the program folder holds the
# executable and its skin, and the desktop files are there and valid.
set -euo pipefail
build=$1 prefix=$2 bindir=$3 libdir=$4 datadir=$5

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" >"$stage.log" 2>&1 || { cat "$stage.log"; rm -f "$stage.log"; exit 1; }
rm -f "$stage.log"
root="$stage$prefix"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

link="$root/$bindir/sonavex"
program="$root/$libdir/sonavex"
if [[ ! -L "$link" ]]; then
    fail "$bindir/sonavex is not a symbolic link"
else
    target=$(readlink "$link")
    [[ "$target" != /* ]] || fail "the link is absolute ($target): it would leave DESTDIR"
    [[ "$(realpath "$link")" == "$(realpath "$program/sonavex")" ]] ||
        fail "$bindir/sonavex points to $target, not to $libdir/sonavex/sonavex"
fi
[[ -f "$program/sonavex" && ! -L "$program/sonavex" && -x "$program/sonavex" ]] ||
    fail "no executable file $libdir/sonavex/sonavex"
[[ -f "$program/skinh.she" ]] || fail "no skinh.she beside the executable"

others=$(find "$root/$bindir" -mindepth 1 ! -name sonavex -printf '%f ')
[[ -z "$others" ]] || fail "$bindir/ holds more than the link: $others"

icons="$root/$datadir/icons/hicolor"
for size in 16 32 48 64 128 256; do
    icon="$icons/${size}x${size}/apps/sonavex.png"
    if [[ ! -f "$icon" ]]; then
        fail "no ${size}x${size} icon"
        continue
    fi
    # A PNG's width and height sit in its header at bytes 16..23.
    dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [[ "$dims" == "${size}x${size}" ]] || fail "the ${size}x${size} icon is $dims"
done
grep -q '<svg' "$icons/scalable/apps/sonavex.svg" 2>/dev/null || fail "no scalable SVG icon"

desktop="$root/$datadir/applications/sonavex.desktop"
metainfo=$(find "$root/$datadir/metainfo" -name '*.metainfo.xml' 2>/dev/null | head -n1)
[[ -f "$desktop" ]] || fail "no desktop entry"
[[ -n "$metainfo" ]] || fail "no metainfo file"
if [[ -f "$desktop" ]]; then
    grep -qx 'Exec=sonavex' "$desktop" || fail "the desktop entry does not start sonavex"
    grep -qx 'Icon=sonavex' "$desktop" || fail "the desktop entry does not name the icon"
fi
if [[ -n "$metainfo" ]]; then
    grep -q '<launchable type="desktop-id">sonavex.desktop</launchable>' "$metainfo" ||
        fail "the metainfo does not launch sonavex.desktop"
fi

if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    [[ -z "$out" ]] || fail "desktop-file-validate has remarks: $out"
    echo "desktop-file-validate: ${out:-clean}"
else
    echo "desktop-file-validate not installed (tools/setup.sh --test): not run"
fi
if command -v appstreamcli >/dev/null; then
    out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
    echo "appstreamcli validate --no-net:"
    echo "$out"
else
    echo "appstreamcli not installed (tools/setup.sh --test): not run"
fi

((failures == 0)) || exit 1
echo "install tree under $prefix: ok"
