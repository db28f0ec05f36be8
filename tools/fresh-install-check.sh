#!/usr/bin/env bash
# Installs the Debian package on a fresh, minimal Debian 12 (a debootstrap
# chroot), starts it as a normal user on a private X server against the demo
# service, and takes a picture of the whole screen. Shows that the package
# declares what the window needs: nothing else is on that system.
# Needs root. Usage: tools/fresh-install-check.sh OUT.png
# SONAVEX_FRESH_ROOT overrides the chroot folder (default build-fresh/root).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:?usage: $0 OUT.png}")
chroot="${SONAVEX_FRESH_ROOT:-$root/build-fresh/root}"

deb=$("$root/tools/package.sh" | tail -n 1)
cmake --build "$root/build-package" --target sonavex-demo-service >/dev/null
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
command -v convert >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq imagemagick
if [[ ! -x "$chroot/usr/bin/apt-get" ]]; then
    mkdir -p "$chroot"
    debootstrap --variant=minbase bookworm "$chroot" http://deb.debian.org/debian >/dev/null
fi
mountpoint -q "$chroot/proc" || mount -t proc proc "$chroot/proc"
trap 'umount "$chroot/proc" 2>/dev/null || true' EXIT

cp "$deb" "$chroot/tmp/sonavex.deb"
mkdir -p "$chroot/opt/demo"
cp "$root/build-package/bin/sonavex-demo-service" "$chroot/opt/demo/"
rm -rf "$chroot/opt/demo/content"
cp -r "$root/resources/demo" "$chroot/opt/demo/content"
chroot "$chroot" sh -c 'apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/sonavex.deb >/dev/null'
echo "Installed on the fresh system: $(chroot "$chroot" dpkg-query -W -f='${Version}' sonavex)"
# Only to look at it: an X server and a screen grabber, after the package.
chroot "$chroot" sh -c 'DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends xvfb x11-apps >/dev/null'

cat >"$chroot/tmp/look.sh" <<'INNER'
#!/bin/sh
id tester >/dev/null 2>&1 || useradd -m tester
Xvfb :7 -screen 0 800x600x24 >/dev/null 2>&1 & xvfb=$!
/opt/demo/sonavex-demo-service --root /opt/demo/content --port-file /tmp/port >/dev/null 2>&1 & demo=$!
sleep 1
proxy=http://127.0.0.1:$(cat /tmp/port)
su tester -c "DISPLAY=:7 http_proxy=$proxy HTTP_PROXY=$proxy sonavex" >/tmp/sonavex.log 2>&1 &
sleep 4
DISPLAY=:7 xwd -root -silent >/tmp/screen.xwd
pkill -u tester sonavex; kill $demo $xvfb
INNER
chmod +x "$chroot/tmp/look.sh"
chroot "$chroot" /tmp/look.sh
convert "$chroot/tmp/screen.xwd" -trim +repage "$out"
echo "$out"
