#!/usr/bin/env bash
# Builds the Windows DLL with mingw-w64 and tests it under Wine:
#   - a fresh Wine prefix under the build folder, and the install folder
#     (cmake --install) in its C:\Program Files;
#   - install.cmd /machine, the registry keys, the VBScript clients and the
#     client guide's VBScript, JScript and C++ examples (their output against
#     the guide's), the C++ type-information and
#     single-threaded-apartment clients;
#   - uninstall.cmd /machine: the keys that go, and HKCR\CLSID that stays;
#   - install.cmd (per user): the keys in the user's classes;
#   - the portable GoogleTest suites;
#   - uninstall.cmd (per user): the user's keys removed.
# Usage: scripts/windows-test.sh [build-folder]   (default build-win)
# Needs: g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 libwine-dev npm
# (Debian packages installed when missing, as root or with sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-win}
case "$build" in /*) ;; *) build="$root/$build" ;; esac

# --- packages --------------------------------------------------------------
packages=(cmake make g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 libwine-dev libgtest-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm fetches the SQLite amalgamation; any npm on the PATH will do.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# --- build -----------------------------------------------------------------
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
# OBZ_WIN_SUITES may name a subset of the suites (space-separated).
read -r -a suites <<< "${OBZ_WIN_SUITES:-test_obzkit test_sqlite test_textfile test_results test_facade test_import}"
cmake --build "$build" -j"$(nproc)" --target OBZeveVevuVAD64 obz-typeinfo-client obz-sta-client obz-guide-example ${suites[@]+"${suites[@]}"}
bin="$build/bin"

# --- Wine ------------------------------------------------------------------
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko installers: console programs need neither, nor a display.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$WINEPREFIX"
echo "== creating the Wine prefix $WINEPREFIX"
wine wineboot -i >/dev/null 2>&1
wineserver -w

# --- the install folder ----------------------------------------------------
install_dir="$WINEPREFIX/drive_c/Program Files/OBZeveVevuVAD"
install_win='C:\Program Files\OBZeveVevuVAD'
echo "== cmake --install into $install_win"
cmake --install "$build" --prefix "$install_dir" >/dev/null

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Runs a Windows console program, failing the stage when it exits non-zero.
run() {
  local what=$1; shift
  echo "== $what"
  if wine "$@"; then pass "$what"; else fail "$what (exit $?)"; fi
}

# reg query of a key (and optionally a value); prints the answer.
reg_query() { wine reg query "$@" 2>/dev/null | tr -d '\r'; }
expect_value() {  # key value-name (empty: default) expected
  local key=$1 name=$2 expected=$3 out
  if [ -z "$name" ]; then out=$(reg_query "$key" /ve) || true; else out=$(reg_query "$key" /v "$name") || true; fi
  if printf '%s\n' "$out" | grep -qF -- "$expected"; then pass "$key ${name:-(Default)} = $expected"
  else fail "$key ${name:-(Default)}: expected '$expected', got: $(printf '%s' "$out" | tail -n +2 | tr -s ' \n' ' ')"; fi
}
expect_key() { if reg_query "$1" >/dev/null; then pass "key $1"; else fail "missing key $1"; fi; }
expect_no_key() { if reg_query "$1" >/dev/null; then fail "key $1 still present"; else pass "no key $1"; fi; }

libid='{39285B56-06B4-42B1-954F-13D14986149A}'
classes=(
  "ZeveVevuVAD|{F59CFD47-99A5-4BFA-B936-C03A62C53679}"
  "RecordSet|{5195E675-2327-4CAC-9B2F-61BB6EEA33AE}"
  "RecordItem|{D8995745-29D3-423C-8FF6-BE964C5B36C9}"
)
interfaces=(
  "IZeveVevuVAD|{7917B64A-4E00-4F07-B804-230A95F98826}"
  "IRecordSet|{3898D86F-D9DE-41F2-A022-60BB202809F6}"
  "IRecordItem|{BC0FF046-0873-40D1-BDA9-9F76D8789691}"
  "_IZeveVevuVADEvents|{A2FC4706-ECE8-4BFF-A657-9831C90BC13C}"
)
# The registered path: the installed DLL, whose folder holds sqlite3.dll.
dll_path="$install_win\\OBZeveVevuVAD64.dll"

# The keys of the registry scripts and of the type library under a classes root.
check_registered() {
  local root=$1 entry name clsid
  for entry in "${classes[@]}"; do
    name=${entry%%|*}; clsid=${entry#*|}
    expect_value "$root\\Ombrel.$name.1" "" "$name Class"
    expect_value "$root\\Ombrel.$name.1\\CLSID" "" "$clsid"
    expect_value "$root\\Ombrel.$name" "" "$name Class"
    expect_value "$root\\Ombrel.$name\\CurVer" "" "Ombrel.$name.1"
    expect_value "$root\\CLSID\\$clsid" "" "$name Class"
    expect_value "$root\\CLSID\\$clsid\\ProgID" "" "Ombrel.$name.1"
    expect_value "$root\\CLSID\\$clsid\\VersionIndependentProgID" "" "Ombrel.$name"
    expect_key "$root\\CLSID\\$clsid\\Programmable"
    expect_value "$root\\CLSID\\$clsid\\InprocServer32" "" "$dll_path"
    expect_value "$root\\CLSID\\$clsid\\InprocServer32" ThreadingModel "Free"
    expect_value "$root\\CLSID\\$clsid\\TypeLib" "" "$libid"
    expect_value "$root\\CLSID\\$clsid\\Version" "" "1.0"
  done
  expect_no_key "$root\\AppID\\{D3A32E6D-3EE4-4BBD-8FC8-862A43E3B3A2}"
}
check_typelib() {
  local root=$1 entry name iid
  expect_value "$root\\TypeLib\\$libid\\1.0" "" "OBZeveVevuVAD 1.0 Type Library"
  expect_value "$root\\TypeLib\\$libid\\1.0\\409\\win64" "" "$dll_path"
  for entry in "${interfaces[@]}"; do
    name=${entry%%|*}; iid=${entry#*|}
    expect_value "$root\\Interface\\$iid" "" "$name"
    expect_value "$root\\Interface\\$iid\\TypeLib" "" "$libid"
  done
}
check_unregistered() {
  local root=$1 entry name clsid
  for entry in "${classes[@]}"; do
    name=${entry%%|*}; clsid=${entry#*|}
    expect_no_key "$root\\Ombrel.$name.1"
    expect_no_key "$root\\Ombrel.$name"
    expect_no_key "$root\\CLSID\\$clsid"
  done
  expect_no_key "$root\\TypeLib\\$libid"
  expect_no_key "$root\\Interface\\{7917B64A-4E00-4F07-B804-230A95F98826}"
}
# Runs a VBScript client. Wine's cscript ends a script that raises an error
# with exit code 0, so the client must also print its closing line.
vbs() {
  local script=$1 suffix=${2:-} out status=0
  echo "== cscript $script $suffix"
  out=$(wine cscript //nologo "$(wine winepath -w "$root/tests/windows/$script" 2>/dev/null | tr -d '\r')" $suffix \
        2>&1 | tr -d '\r') || status=$?
  printf '%s\n' "$out"
  if [ "$status" -eq 0 ] && printf '%s\n' "$out" | grep -q ': all checks passed$'; then pass "cscript $script $suffix"
  else fail "cscript $script $suffix (exit $status)"; fi
}

# Runs a batch file of the install folder through cmd, expecting an exit code.
batch() {  # expected-exit script [argument]
  local expected=$1 script=$2 status=0; shift 2
  echo "== $script $*"
  wine cmd /c "$install_win\\$script" "$@" 2>&1 | tr -d '\r' || status=$?
  if [ "$status" -eq "$expected" ]; then pass "$script $* (exit $status)"
  else fail "$script $*: exit $status, expected $expected"; fi
}

# Runs an example of the client guide and compares what it prints with the
# guide's output block for it (both extracted from docs/clients.md by the
# build).
guide_example() {  # name command...
  local name=$1 out status=0; shift
  echo "== guide example $name"
  out=$("$@" | tr -d '\r') || status=$?
  if [ "$status" -eq 0 ] && diff -u "$build/guide/$name.out" <(printf '%s\n' "$out"); then pass "guide example $name"
  else fail "guide example $name (exit $status; the diff above is guide -> actual)"; fi
}

# Windows' CLSIDFromProgID follows the CurVer key of a version-independent
# ProgID (which the registry scripts give no CLSID key of its own); Wine's
# does not. The test adds the CLSID that CurVer leads to, as Windows would
# find it, for the clients that use the version-independent ProgIDs, and
# removes it again before unregistering.
curver_shim() {  # add|remove classes-root
  local action=$1 root=$2 entry name clsid
  for entry in "${classes[@]}"; do
    name=${entry%%|*}; clsid=${entry#*|}
    if [ "$action" = add ]; then wine reg add "$root\\Ombrel.$name\\CLSID" /ve /d "$clsid" /f >/dev/null 2>&1
    else wine reg delete "$root\\Ombrel.$name\\CLSID" /f >/dev/null 2>&1 || true; fi
  done
}

# Windows' type-library marshaler, which carries the calls of a client in a
# single-threaded apartment to the free-threaded objects, finds the library
# under the locale it is registered with (409); Wine's looks under locale 0
# only. The test adds that key for the apartment client, as it adds the CurVer
# CLSID keys above, and removes it again before unregistering.
typelib_shim() {  # add|remove classes-root
  local action=$1 key="$2\\TypeLib\\$libid\\1.0\\0"
  if [ "$action" = add ]; then wine reg add "$key\\win64" /ve /d "$dll_path" /f >/dev/null 2>&1
  else wine reg delete "$key" /f >/dev/null 2>&1 || true; fi
}

# The files that RoundTrip.vbs imports (8-bit and UTF-16 with a BOM).
import_dir="$WINEPREFIX/drive_c/obz-import"
mkdir -p "$import_dir"
printf "'a1'#'apple'#3;\r\n'a2'#'pear'#NULL;\r\n'a3'#'it''s'#7;\r\n" > "$import_dir/items.txt"
{ printf '\377\376'; printf "'w1'|'\344\270\255\346\226\207'|1#'w2'|'x'|2#" | iconv -f UTF-8 -t UTF-16LE; } \
  > "$import_dir/wide.txt"

for file in OBZeveVevuVAD64.dll sqlite3.dll OBZeveVevuVAD.tlb install.cmd uninstall.cmd clients.md api.md \
            include/OBZeveVevuVAD.h include/obzkit/EventSink.h examples/guide.vbs examples/guide.js examples/guide.cpp; do
  if [ -f "$install_dir/$file" ]; then pass "installed $file"; else fail "the install folder lacks $file"; fi
done
batch 2 install.cmd /bogus
expect_no_key 'HKCR\Ombrel.ZeveVevuVAD.1'

# --- machine-wide ----------------------------------------------------------
batch 0 install.cmd /machine
batch 0 install.cmd /machine   # again: ForceRemove rewrites the keys
check_registered 'HKLM\Software\Classes'
check_typelib 'HKCR'
expect_no_key 'HKCU\Software\Classes\Ombrel.ZeveVevuVAD'
vbs RoundTrip.vbs .1
curver_shim add 'HKLM\Software\Classes'
vbs RoundTrip.vbs
guide_example guide.vbs wine cscript //nologo "$install_win\\examples\\guide.vbs"
guide_example guide.js wine cscript //nologo "$install_win\\examples\\guide.js"
guide_example guide.cpp wine "$bin/obz-guide-example.exe"
run "type info client (machine-wide)" "$bin/obz-typeinfo-client.exe"
typelib_shim add 'HKLM\Software\Classes'
run "single-threaded apartment client (machine-wide)" "$bin/obz-sta-client.exe"
typelib_shim remove 'HKLM\Software\Classes'
curver_shim remove 'HKLM\Software\Classes'

batch 0 uninstall.cmd /machine
check_unregistered 'HKCR'
expect_key 'HKCR\CLSID'

# --- per user --------------------------------------------------------------
batch 0 install.cmd
check_registered 'HKCU\Software\Classes'
expect_no_key 'HKLM\Software\Classes\Ombrel.ZeveVevuVAD'
expect_no_key 'HKLM\Software\Classes\CLSID\{F59CFD47-99A5-4BFA-B936-C03A62C53679}'
# The type library goes to the user's classes too (through the HKCR override
# when the system's RegisterTypeLibForUser registers machine-wide).
check_typelib 'HKCU\Software\Classes'
expect_no_key "HKLM\Software\Classes\TypeLib\$libid"
# Wine's HKEY_CLASSES_ROOT does not merge the user's classes over the
# machine's as Windows does, so clients cannot find per-user classes here:
# the per-user stage checks the keys only.

# --- the portable suites ---------------------------------------------------
for suite in ${suites[@]+"${suites[@]}"}; do
  run "$suite" "$bin/$suite.exe" --gtest_brief=1
done

batch 0 uninstall.cmd
check_unregistered 'HKCU\Software\Classes'
check_unregistered 'HKCR'

wineserver -k || true
if [ "$failures" -ne 0 ]; then
  echo "windows-test: $failures failure(s)"
  exit 1
fi
echo "windows-test: all passed"
