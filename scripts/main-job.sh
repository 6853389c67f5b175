#!/usr/bin/env bash
# The main job: installs the packages the build needs when any is missing,
# builds the component, the runtime and the clients (Release, no tests or
# benchmarks) into build/, installs them into build/prefix, registers the
# component there in the runtime's default prefix (the one COMRT_PREFIX
# names, else ~/.local/share/comrt), then runs the example client and the
# shell session examples/session.obz against it. Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DOBZ_BUILD_BENCH=OFF \
  -DOBZ_WERROR="${OBZ_WERROR:-OFF}"
cmake --build build -j"$(nproc)"
rm -rf build/prefix
cmake --install build --prefix build/prefix
bin=build/prefix/bin
libdir=build/prefix/$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' build/CMakeCache.txt)

# The runtime prefix holds the registry (system.reg, user.reg) and drive C:.
runtime_prefix="${COMRT_PREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/comrt}"

echo "== Registering the component in $runtime_prefix"
"$bin/comrt-regsvr" "$libdir/OBZeveVevuVAD64.so"

echo "== The example client"
"$bin/obz-example"

echo "== The shell client: examples/session.obz"
"$bin/obzshell" examples/session.obz

echo "== Done. The databases are in $runtime_prefix/drive_c/ProgramData/Ombrel/API/DataBase/"
ls -l "$runtime_prefix/drive_c/ProgramData/Ombrel/API/DataBase/" || true
