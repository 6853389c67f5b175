#!/bin/sh
# The documentation and the examples as the install lays them out: every
# path that the installed tools print, in their --help and in their man
# pages, exists after an install; the README, the licence, the changelog and
# the guides are in the documentation folder; its example scripts run from
# there, and its client project builds against the install and runs.
# Usage: docs_test.sh BUILD_DIR SOURCE_DIR CXX PREFIX LIBDIR DOCDIR MANDIR
# (PREFIX the configured install prefix; LIBDIR, DOCDIR, MANDIR relative to it)
set -eu
build=$1
source=$2
cxx=$3
prefix=$4
libdir=$5
docdir=$6
mandir=$7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

# The full paths in a text: words that begin with "/" and hold another "/"
# (the comrt-regsvr switches /u, /i:user, ... have none).
paths() { tr ' \t(),' '\n\n\n\n\n' | grep -E '^/[^/]+/' | sed 's/[.:;]$//' | sort -u; }

# An install at a folder of its own choosing, as `cmake --install --prefix` makes it.
cmake --install "$build" --prefix "$work/moved" > "$work/install.log"
moved=$work/moved
for tool in "$moved"/bin/*; do
    for path in $("$tool" --help | paths); do
        test -e "$path" || fail "$(basename "$tool") --help names $path, which the install at $moved does not hold"
    done
done
"$moved/bin/obzshell" --help | grep -q "$moved/$docdir/examples/session.obz" || fail "obzshell --help names no session.obz"

# An install at the configured prefix, staged under DESTDIR: the man pages,
# made from the tools in the build tree, name the configured folders.
DESTDIR="$work/staged" cmake --install "$build" > "$work/staged.log"
pages=$(ls "$work/staged$prefix/$mandir/man1/"*.1) || fail "no man pages installed"
for page in $pages; do
    for path in $(sed -e 's/\\f[BIRP]//g' -e 's/\\[,/&]//g' -e 's/\\-/-/g' "$page" | paths); do
        test -e "$work/staged$path" || fail "$(basename "$page") names $path, which the install does not hold"
    done
done

# The documentation folder.
doc=$moved/$docdir
for f in README.md LICENSE THIRD-PARTY-NOTICES.md CHANGELOG.md examples/session.obz examples/import.obz \
         examples/cities.txt examples/client/CMakeLists.txt examples/client/client.cpp; do
    test -f "$doc/$f" || fail "missing from the documentation folder: $f"
done
for f in "$source"/docs/*.md; do
    cmp -s "$f" "$doc/docs/$(basename "$f")" || fail "docs/$(basename "$f") is not installed as it is"
done
awk '/^\/\/ client\.cpp$/ { copy = 1 } copy && /^```$/ { exit } copy' "$source/README.md" > "$work/readme-client.cpp"
cmp -s "$work/readme-client.cpp" "$doc/examples/client/client.cpp" ||
    fail "examples/client/client.cpp is not the README's client.cpp"

# The component registered from the install in a fresh prefix; the example
# scripts run from the documentation folder (the import names its sample
# relative to it), and the client project builds there against the install.
export COMRT_PREFIX="$work/prefix"
"$moved/bin/comrt-regsvr" /s "$moved/$libdir/OBZeveVevuVAD64.so"
"$moved/bin/obzshell" -n -e "$doc/examples/session.obz" > "$work/session.out" 2>&1 ||
    { cat "$work/session.out"; fail "the installed session.obz failed"; }
(cd "$doc" && "$moved/bin/obzshell" -n -e examples/import.obz) > "$work/import.out" 2>&1 ||
    { cat "$work/import.out"; fail "the installed import.obz failed"; }
cmake -S "$doc/examples/client" -B "$work/client" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$moved" \
    > "$work/client.log" 2>&1 || { cat "$work/client.log"; fail "the installed client project does not configure"; }
cmake --build "$work/client" > "$work/client-build.log" 2>&1 ||
    { cat "$work/client-build.log"; fail "the installed client project does not build"; }
"$work/client/client" > "$work/client.out" || { cat "$work/client.out"; fail "the installed client failed"; }
grep -qx "row 0: it's here" "$work/client.out" || { cat "$work/client.out"; fail "the installed client read nothing back"; }
echo "documentation test passed"
