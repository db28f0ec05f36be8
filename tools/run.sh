#!/usr/bin/env bash
# Sets everything up, builds, starts the bundled demo service and then the tool,
# with the demo service standing in for the song service and the maker's hosts.
# Set SONAVEX_NO_DEMO=1 to run against the real network instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

"$root/tools/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONAVEX_BUILD_TESTS=OFF -DSONAVEX_WERROR=OFF \
    -DSONAVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target sonavex sonavex-demo-service

if [[ "${SONAVEX_NO_DEMO:-}" == 1 ]]; then
    exec "$build/bin/sonavex"
fi

portfile=$(mktemp)
"$build/bin/sonavex-demo-service" --root "$root/resources/demo" --port-file "$portfile" &
demo=$!
trap 'kill $demo 2>/dev/null || true; rm -f "$portfile"' EXIT
for _ in $(seq 100); do
    [[ -s "$portfile" ]] && break
    sleep 0.05
done
[[ -s "$portfile" ]] || { echo "the demo service did not start" >&2; exit 1; }
port=$(cat "$portfile")
echo "Demo service on 127.0.0.1:$port. Try: http://changba.com/s/demo-audio"
http_proxy="http://127.0.0.1:$port" HTTP_PROXY="http://127.0.0.1:$port" no_proxy= \
    "$build/bin/sonavex"
