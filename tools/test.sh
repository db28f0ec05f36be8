#!/usr/bin/env bash
# Sets everything up and runs the whole test suite headless, built with
# AddressSanitizer and UndefinedBehaviorSanitizer; the parser and tagging
# fuzzers (clang) run inside the suite as short smoke tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-asan"
fuzzbuild="$root/build-fuzz"

"$root/tools/setup.sh" --test

fuzzer_args=()
if command -v clang++ >/dev/null; then
    cmake -S "$root" -B "$fuzzbuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DSONAVEX_FUZZ=ON -DSONAVEX_WERROR=ON >/dev/null
    cmake --build "$fuzzbuild"
    fuzzer_args=(-DSONAVEX_FUZZER="$fuzzbuild/fuzz/fuzz_songpage"
        -DSONAVEX_TAG_FUZZER="$fuzzbuild/fuzz/fuzz_audiotags")
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONAVEX_SANITIZE=ON -DSONAVEX_WERROR=ON \
    "${fuzzer_args[@]}" >/dev/null
cmake --build "$build"
cd "$build"
ctest --output-on-failure --timeout 300 -j2 "$@"
