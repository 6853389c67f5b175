#!/usr/bin/env bash
# Builds the component and runs every test. With --sanitize, builds into
# build-sanitize with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build; flags=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize; flags=(-DOBZ_SANITIZE=ON -DOBZ_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}"
cmake --build "$build" -j"$(nproc)"
cd "$build" && ctest --output-on-failure -j"$(nproc)" --timeout 600
