#!/usr/bin/env bash
# Sets everything up and runs the whole test suite headless, built with
# AddressSanitizer and UndefinedBehaviorSanitizer; the parser and tagging
# fuzzers (clang) run inside the suite as short smoke tests. Then, when a
# Windows Qt prefix is at hand, the suite cross-built for Windows runs under
# Wine (tools/windows/test.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-asan"
fuzzbuild="$root/build-fuzz"

"$root/tools/setup.sh" --test

fuzzer_args=()
if command -v clang++ >/dev/null; then
    cmake -S "$root" -B "$fuzzbuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DSONAVEX_FUZZ=ON -DSONAVEX_WERROR=ON >/dev/null
    cmake --build "$fuzzbuild" -j2
    fuzzer_args=(-DSONAVEX_FUZZER="$fuzzbuild/fuzz/fuzz_songpage"
        -DSONAVEX_TAG_FUZZER="$fuzzbuild/fuzz/fuzz_audiotags")
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONAVEX_SANITIZE=ON -DSONAVEX_WERROR=ON \
    "${fuzzer_args[@]}" >/dev/null
cmake --build "$build" -j2
rc=0
(cd "$build" && ctest --output-on-failure --timeout 300 -j2 "$@") || rc=$?

# The same suite cross-built for Windows and run under Wine, when a Windows
# Qt prefix is at hand (the shared prebuilt one, or one already built).
if (source "$root/tools/windows/common.sh" && win_prefix_available); then
    "$root/tools/windows/test.sh" || rc=$?
else
    echo "Windows suite skipped: no Windows Qt prefix (tools/windows/build-deps.sh builds one)"
fi
exit $rc
