#!/usr/bin/env bash
# Builds the component, its tests and benchmarks (Release) into build/ and
# runs every test. With --sanitize, builds into build-sanitize with
# AddressSanitizer and UndefinedBehaviorSanitizer instead (RelWithDebInfo, no
# benchmarks). Warnings are errors when the environment sets OBZ_WERROR=ON,
# as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build
flags=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DOBZ_BUILD_BENCH=ON -DOBZ_WERROR="${OBZ_WERROR:-OFF}")
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DOBZ_BUILD_BENCH=OFF -DOBZ_SANITIZE=ON
         -DOBZ_WERROR="${OBZ_WERROR:-OFF}")
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" "${flags[@]}"
cmake --build "$build" -j"$(nproc)"
cd "$build"
# Every test has a readable name that stays the same from build to build, so
# a failing one can be run again by name: a parameterised suite without a
# name generator shows its cases' numbers (or their bytes) instead.
if ctest -N | grep -E -- '-byte object <|/[0-9]+$'; then
  echo "the test names above do not say what they test: give their suite a name generator" >&2
  exit 1
fi
ctest --output-on-failure -j"$(nproc)" --timeout 600
