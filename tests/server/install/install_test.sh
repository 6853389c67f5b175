#!/bin/sh
# Installs the client's component of the build, moves the install elsewhere,
# registers the server with the installed comrt-regsvr, then builds the
# client twice, with pkg-config and as a CMake project with find_package,
# and the README's client with pkg-config, and runs them.
# Usage: install_test.sh BUILD_DIR TEST_DIR CXX LIBDIR README
set -eu
build=$1
here=$2
cxx=$3
libdir=$4
readme=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

cmake --install "$build" --prefix "$work/staged" --component obzevevevuvad > "$work/install.log"
# Every path of the install is relative to it: it works moved.
mv "$work/staged" "$work/usr"
usr=$work/usr
for f in "$libdir/OBZeveVevuVAD64.so" "$libdir/libcomrt.so" "$libdir/libcomrt.so.1" \
         include/OBZeveVevuVAD.h include/comrt/comrt.h include/obzkit/Ref.h include/obzkit/Bstr.h \
         include/obzkit/Utf8.h include/obzkit/EventSink.h include/obzkit/EventSubscription.h \
         include/obzkit/Create.h bin/comrt-regsvr "$libdir/pkgconfig/obzevevevuvad.pc" \
         "$libdir/cmake/OBZeveVevuVAD/OBZeveVevuVADConfig.cmake" \
         "$libdir/cmake/OBZeveVevuVAD/OBZeveVevuVADConfigVersion.cmake"; do
    test -e "$usr/$f" || fail "missing from the install: $f"
done
objdump -p "$usr/$libdir/libcomrt.so" | grep -q 'SONAME *libcomrt\.so\.1$' || fail "libcomrt has no versioned SONAME"

export COMRT_PREFIX="$work/prefix"
# Registration with the installed tool, from another working directory.
(cd "$work" && ./usr/bin/comrt-regsvr "usr/$libdir/OBZeveVevuVAD64.so")

# pkg-config.
# shellcheck disable=SC2046
"$cxx" -std=c++20 "$here/client.cpp" $(PKG_CONFIG_PATH="$usr/$libdir/pkgconfig" pkg-config --cflags --libs obzevevevuvad) \
    -o "$work/client"
objdump -p "$work/client" | grep -q 'NEEDED *libcomrt\.so\.1$' || fail "the client does not need libcomrt.so.1"
"$work/client"
# The README's client, as printed there.
awk '/^\/\/ client\.cpp$/ { copy = 1 } copy && /^```$/ { exit } copy' "$readme" > "$work/readme-client.cpp"
test -s "$work/readme-client.cpp" || fail "no client.cpp in the README"
# shellcheck disable=SC2046
"$cxx" -std=c++20 "$work/readme-client.cpp" \
    $(PKG_CONFIG_PATH="$usr/$libdir/pkgconfig" pkg-config --cflags --libs obzevevevuvad) -o "$work/readme-client"
"$work/readme-client" > "$work/readme-client.out" || { cat "$work/readme-client.out"; fail "the README's client failed"; }
grep -qx "row 0: it's here" "$work/readme-client.out" || { cat "$work/readme-client.out"; fail "the README's client read nothing back"; }
# Every pkg-config module that the README and the docs name is the installed one.
for module in $(cat "$readme" "$(dirname "$readme")"/docs/*.md | grep -o 'pkg-config --cflags --libs [A-Za-z0-9_-]*' |
                awk '{ print $4 }' | sort -u); do
    PKG_CONFIG_PATH="$usr/$libdir/pkgconfig" pkg-config --exists "$module" || fail "no pkg-config module $module"
done

# CMake: the package and its target, without any path but the prefix.
cmake -S "$here/project" -B "$work/project" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$usr" \
    -DCLIENT_SOURCE="$here/client.cpp" > "$work/project.log" 2>&1 || { cat "$work/project.log"; fail "find_package failed"; }
cmake --build "$work/project" > "$work/build.log" 2>&1 || { cat "$work/build.log"; fail "the CMake client does not build"; }
"$work/project/client"
if cmake -S "$here/project" -B "$work/project2" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$usr" \
       -DCLIENT_SOURCE="$here/client.cpp" -DOBZ_WANTED_VERSION=2 > /dev/null 2>&1; then
    fail "find_package accepted version 2 of a version 1 install"
fi

"$usr/bin/comrt-regsvr" /u /s "$usr/$libdir/OBZeveVevuVAD64.so"
if "$work/client" > /dev/null 2>&1; then
    fail "client still works after unregistration"
fi
# Per-user registration through DllInstall.
"$usr/bin/comrt-regsvr" /n /i:user "$usr/$libdir/OBZeveVevuVAD64.so"
grep -qF '[HKEY_CURRENT_USER\Software\Classes\Ombrel.RecordSet]' "$COMRT_PREFIX/user.reg" ||
    fail "per-user registration missing from user.reg"
"$work/client"
if "$usr/bin/comrt-regsvr" /s /n "$usr/$libdir/OBZeveVevuVAD64.so"; then
    fail "/n without /i was accepted"
fi
echo "install test passed"
