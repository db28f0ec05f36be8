#!/usr/bin/env bash
# Builds the Debian package sonavex_1.0.0_amd64.deb from a Release build and
# prints its path. Install it with: apt install ./sonavex_1.0.0_amd64.deb
# SONAVEX_BUILD_DIR overrides the build folder (default build-package/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${SONAVEX_BUILD_DIR:-$root/build-package}"

"$root/tools/setup.sh"
# dpkg-shlibdeps computes the package's library dependencies.
if ! command -v dpkg-shlibdeps >/dev/null; then
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends dpkg-dev
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DSONAVEX_BUILD_TESTS=OFF -DSONAVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2
(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/sonavex_${version}_$(dpkg --print-architecture).deb"
[[ -f "$deb" ]] || { echo "cpack made no $deb" >&2; exit 1; }
echo "$deb"
