#!/bin/sh
# Installs the build into a temporary prefix, registers the server with the
# installed comrt-regsvr, builds a one-file client with pkg-config and runs it.
# Usage: install_test.sh BUILD_DIR CLIENT_SOURCE CXX
set -eu
build=$1
client=$2
cxx=${3:-g++}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/usr" --component obzevevuvad > "$work/install.log"
for f in lib/OBZeveVevuVAD64.so lib/libcomrt.so include/OBZeveVevuVAD.h include/comrt/comrt.h \
         bin/comrt-regsvr lib/pkgconfig/obzevevuvad.pc; do
    test -e "$work/usr/$f" || { echo "missing from the install: $f"; exit 1; }
done
export COMRT_PREFIX="$work/prefix"
export PKG_CONFIG_PATH="$work/usr/lib/pkgconfig"
# Registration with the installed tool, from another working directory.
(cd "$work" && ./usr/bin/comrt-regsvr usr/lib/OBZeveVevuVAD64.so)
# shellcheck disable=SC2046
"$cxx" -std=c++20 "$client" $(pkg-config --cflags --libs obzevevuvad) -o "$work/client"
"$work/client"
"$work/usr/bin/comrt-regsvr" /u /s "$work/usr/lib/OBZeveVevuVAD64.so"
if "$work/client" > /dev/null 2>&1; then
    echo "client still works after unregistration"
    exit 1
fi
# Per-user registration through DllInstall.
"$work/usr/bin/comrt-regsvr" /n /i:user "$work/usr/lib/OBZeveVevuVAD64.so"
grep -qF '[HKEY_CURRENT_USER\Software\Classes\Ombrel.RecordSet]' "$COMRT_PREFIX/user.reg" ||
    { echo "per-user registration missing from user.reg"; exit 1; }
"$work/client"
if "$work/usr/bin/comrt-regsvr" /s /n "$work/usr/lib/OBZeveVevuVAD64.so"; then
    echo "/n without /i was accepted"
    exit 1
fi
echo "install test passed"
