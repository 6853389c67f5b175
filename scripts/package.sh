#!/usr/bin/env bash
# Makes the Debian package of the Release build in build/ (configured for the
# prefix /usr, as a package needs) with cpack -G DEB, and checks it as a user
# receives it: its name, version and dependencies; unpacked into an empty
# folder with dpkg-deb -x, its files where GNUInstallDirs puts them for /usr;
# the component registered from the unpacked tree in a fresh runtime prefix;
# the example client and the example shell session run from there. Prints the
# package's path last. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DOBZ_WERROR="${OBZ_WERROR:-OFF}" > /dev/null
cmake --build build -j"$(nproc)"
cache() { sed -n "s/^$1:[A-Z]*=//p" build/CMakeCache.txt; }
version=$(cache CMAKE_PROJECT_VERSION)
libdir=$(cache CMAKE_INSTALL_LIBDIR)
deb=build/obzevevevuvad_${version}_$(dpkg --print-architecture).deb
rm -f "$deb"
(cd build && cpack -G DEB > cpack.log 2>&1) || { cat build/cpack.log; exit 1; }
fail() { echo "package: $*" >&2; exit 1; }
test -f "$deb" || fail "cpack made no $deb"

test "$(dpkg-deb -f "$deb" Package)" = obzevevevuvad || fail "wrong package name"
test "$(dpkg-deb -f "$deb" Version)" = "$version" || fail "wrong version"
depends=$(dpkg-deb -f "$deb" Depends)
needed=(libsqlite3-0)
readelf -d build/tools/obzshell | grep -q 'NEEDED.*libedit' && needed+=(libedit2)
for package in "${needed[@]}"; do
    grep -qE "(^|, )$package( |,|$)" <<< "$depends" || fail "Depends lacks $package: $depends"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr
doc=$usr/share/doc/obzevevevuvad
for f in "$libdir/OBZeveVevuVAD64.so" "$libdir/libcomrt.so.1" "$libdir/pkgconfig/obzevevevuvad.pc" \
         "$libdir/cmake/OBZeveVevuVAD/OBZeveVevuVADConfig.cmake" include/OBZeveVevuVAD.h include/obzkit/Ref.h \
         bin/comrt-regsvr bin/obzshell bin/obz-example share/man/man1/obzshell.1 \
         share/doc/obzevevevuvad/copyright share/doc/obzevevevuvad/LICENSE share/doc/obzevevevuvad/README.md \
         share/doc/obzevevevuvad/examples/session.obz share/doc/obzevevevuvad/examples/client/CMakeLists.txt; do
    test -e "$usr/$f" || fail "the package has no /usr/$f"
done
cmp -s LICENSE "$doc/copyright" || fail "/usr/share/doc/obzevevevuvad/copyright is not the licence"

export COMRT_PREFIX="$work/prefix"
"$usr/bin/comrt-regsvr" "$usr/$libdir/OBZeveVevuVAD64.so" > "$work/regsvr.log" || { cat "$work/regsvr.log"; fail "registration failed"; }
"$usr/bin/obz-example" > "$work/example.log" || { cat "$work/example.log"; fail "the example client failed"; }
"$usr/bin/obzshell" -n -e "$doc/examples/session.obz" > "$work/session.log" 2>&1 ||
    { cat "$work/session.log"; fail "the example session failed"; }
echo "package: $deb (Depends: $depends)"
