#!/usr/bin/env bash
# Installs what the build needs from Debian's packages, only what is missing.
# Usage: tools/setup.sh [--test]   (--test adds what the test suite needs)
set -euo pipefail

packages=(cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-translations-l10n
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    fonts-wqy-microhei libbenchmark-dev libtag1-dev)
if [[ "${1:-}" == "--test" ]]; then
    packages+=(clang libclang-rt-14-dev desktop-file-utils appstream dpkg-dev)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
