#!/usr/bin/env bash
# The main job: installs the packages the build needs when any is missing,
# builds everything into build/, installs the component, the runtime and the
# clients into build/prefix, registers the component in a fresh runtime
# prefix (build/comrt-prefix), then runs the example client and the shell
# session examples/session.obz against it. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
cmake --install build --prefix build/prefix

# A fresh runtime prefix: its registry (system.reg, user.reg) and drive C:.
export COMRT_PREFIX="$PWD/build/comrt-prefix"
rm -rf "$COMRT_PREFIX"

echo "== Registering the component in $COMRT_PREFIX"
build/prefix/bin/comrt-regsvr build/prefix/lib/OBZeveVevuVAD64.so

echo "== The example client"
build/prefix/bin/obz-example

echo "== The shell client: examples/session.obz"
build/prefix/bin/obzshell examples/session.obz

echo "== Done. The databases are in $COMRT_PREFIX/drive_c/ProgramData/Ombrel/API/DataBase/"
ls -l "$COMRT_PREFIX/drive_c/ProgramData/Ombrel/API/DataBase/"
