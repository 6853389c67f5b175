#!/usr/bin/env bash
# Builds the project (tests and benchmarks included, warnings as errors) and
# runs every test, once per cell of the matrix compiler x build type, each in
# its own folder build-matrix/COMPILER-TYPE. Goes on after a failed cell and
# ends with one line per cell: its result, build time and test time.
# Usage: scripts/build-matrix.sh [COMPILER:TYPE ...]
#   COMPILER: gcc or clang; TYPE: Debug, Release, RelWithDebInfo or MinSizeRel.
#   Without arguments, all eight cells.
set -euo pipefail
cd "$(dirname "$0")/.."
cells=("$@")
if [ ${#cells[@]} -eq 0 ]; then
  for compiler in gcc clang; do
    for type in Debug Release RelWithDebInfo MinSizeRel; do cells+=("$compiler:$type"); done
  done
fi
extra=()
for cell in "${cells[@]}"; do
  case "$cell" in
    gcc:Debug|gcc:Release|gcc:RelWithDebInfo|gcc:MinSizeRel) ;;
    clang:Debug|clang:Release|clang:RelWithDebInfo|clang:MinSizeRel) extra=(clang) ;;
    *) echo "build-matrix.sh: unknown cell '$cell' (COMPILER:TYPE, e.g. clang:Debug)" >&2; exit 2 ;;
  esac
done
bash scripts/deps.sh ${extra[@]+"${extra[@]}"}

summary=()
failed=0
for cell in "${cells[@]}"; do
  compiler=${cell%%:*}
  type=${cell#*:}
  if [ "$compiler" = gcc ]; then cc=gcc; cxx=g++; else cc=clang; cxx=clang++; fi
  build="build-matrix/$compiler-$type"
  echo "== $cell in $build"
  result=passed
  start=$SECONDS
  if cmake -S . -B "$build" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE="$type" \
       -DBUILD_TESTING=ON -DOBZ_BUILD_BENCH=ON -DOBZ_WERROR=ON &&
     cmake --build "$build" -j"$(nproc)"; then
    built=$((SECONDS - start))
    start=$SECONDS
    (cd "$build" && ctest --output-on-failure -j"$(nproc)" --timeout 600) || result="FAILED (tests)"
    tested=$((SECONDS - start))
  else
    built=$((SECONDS - start))
    tested=0
    result="FAILED (build)"
  fi
  [ "$result" = passed ] || failed=1
  summary+=("$(printf '%-22s %-16s build %4ds  tests %4ds' "$cell" "$result" "$built" "$tested")")
done
echo "== Matrix ($(uptime | sed 's/.*load average/load average/'))"
printf '%s\n' "${summary[@]}"
exit $failed
