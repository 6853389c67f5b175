#!/usr/bin/env bash
# Builds the Windows DLLs of both bitnesses with mingw-w64 and tests them
# under Wine:
#   - scripts/windows-package.sh lays out the folder a user receives; a fresh
#     Wine prefix gets it as C:\Program Files\OBZeveVevuVAD;
#   - install.cmd /machine: every key of both DLLs, the VBScript clients, the
#     client guide's VBScript, JScript and C++ examples (their output against
#     the guide's), the C++ type-information and single-threaded-apartment
#     clients, one data folder for both bitnesses, the script-call benchmark;
#   - uninstall.cmd /machine of one bitness: the other keeps working; then of
#     both: the keys that go, and HKCR\CLSID that stays;
#   - install.cmd (per user) of each bitness: the keys in the user's classes,
#     the portable GoogleTest suites, uninstall.cmd (per user).
# Under Wine, `wine` starts 32-bit programs where wine32 is installed:
# 64-bit programs run through the 64-bit loader. The 32-bit half needs
# wine32, which scripts/deps.sh --wine installs (dpkg --add-architecture
# i386, wine32:i386) unless OBZ_WIN_NO_WINE32=1; without it the stage tests the
# 64-bit DLL alone and says so.
# Usage: scripts/windows-test.sh [build-folder]   (default build-win)
# OBZ_WIN_SUITES may name a subset of the GoogleTest suites (space-separated).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-win}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
started=$SECONDS

# --- packages: wine, and wine32 for the 32-bit half -------------------------
bash scripts/deps.sh --wine

# --- build and package -----------------------------------------------------
read -r -a suites <<< "${OBZ_WIN_SUITES-test_obzkit test_sqlite test_textfile test_results test_facade test_import}"
package="$build/package/OBZeveVevuVAD"
OBZ_WIN_TARGETS="obz-typeinfo-client obz-sta-client obz-guide-example ${suites[*]}" \
  bash scripts/windows-package.sh "$package" "$build"

# --- Wine ------------------------------------------------------------------
wine64=$(command -v /usr/lib/wine/wine64 || command -v wine64 || command -v wine)
bitnesses=(64)
if [ -x /usr/lib/wine/wine ] && [ "${OBZ_WIN_NO_WINE32:-0}" != 1 ]; then
  bitnesses+=(32)
else
  echo "== wine32 is not installed: the 32-bit DLL is built and packaged, not tested"
fi
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko installers: console programs need neither, nor a display.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$WINEPREFIX"
echo "== creating the Wine prefix $WINEPREFIX"
"$wine64" wineboot -i >/dev/null 2>&1
wineserver -w

# The loader, folders and names of one bitness.
loader() { if [ "$1" = 64 ]; then printf '%s\n' "$wine64"; else printf 'wine\n'; fi; }
arch() { if [ "$1" = 64 ]; then printf 'x64\n'; else printf 'x86\n'; fi; }
w64() { "$wine64" "$@"; }
wbits() { local bits=$1; shift; "$(loader "$bits")" "$@"; }

# --- the install folder ----------------------------------------------------
install_dir="$WINEPREFIX/drive_c/Program Files/OBZeveVevuVAD"
install_win='C:\Program Files\OBZeveVevuVAD'
echo "== the package folder into $install_win"
mkdir -p "$install_dir"
cp -r "$package/." "$install_dir/"

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Runs a Windows console program of one bitness, failing the stage when it
# exits non-zero.
run() {  # bits what program [arguments]
  local bits=$1 what=$2; shift 2
  echo "== $what ($bits-bit)"
  if wbits "$bits" "$@"; then pass "$what ($bits-bit)"; else fail "$what ($bits-bit) (exit $?)"; fi
}

# reg query of a key (and optionally a value) in one view (64 or 32); prints
# the answer. The 64-bit reg reads both views.
reg_query() { local view=$1; shift; w64 reg query "$@" "/reg:$view" 2>/dev/null | tr -d '\r'; }
# The values of a key and of every key below it, one "subkey|name|data"
# line each (subkey relative to the key, name "(Default)" for the default
# value), and one "subkey||" line per key: one reg process for a whole tree.
tree() {  # view key
  # The key reaches awk through the environment: -v would read its "\1".
  reg_query "$1" "$2" /s | TOP="${2#*\\}" awk -F '    ' 'BEGIN { top = ENVIRON["TOP"] }
    /^HKEY_/ { rest = substr($0, index($0, "\\") + 1); key = substr(rest, length(top) + 2); print key "||"; next }
    NF >= 4 && $1 == "" { print key "|" $2 "|" $4 }'
}
# Checks "subkey|name|data" lines (or "subkey||" for a key) in one tree.
# Wine's reg has, now and then, failed or cut a listing short right after a
# registration changed it: a tree that lacks a line is read once more, with
# a note, before the line counts as missing.
expect_tree() {  # view key line...
  local view=$1 key=$2 text line again=; shift 2
  text=$(tree "$view" "$key") || text=
  for line in "$@"; do
    if [ -z "$again" ] && ! printf '%s\n' "$text" | grep -qixF -- "$line"; then
      echo "note: $key ($view): no '$line' in the first listing; reading it again"
      again=1
      text=$(tree "$view" "$key") || text=
    fi
    if printf '%s\n' "$text" | grep -qixF -- "$line"; then pass "$key: $line ($view)"
    else fail "$key ($view): no '$line'"; fi
  done
}
expect_key() { if reg_query "$1" "$2" >/dev/null; then pass "key $2 ($1)"; else fail "missing key $2 ($1)"; fi; }
expect_no_key() { if reg_query "$1" "$2" >/dev/null; then fail "key $2 ($1) still present"; else pass "no key $2 ($1)"; fi; }

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
# The registered path of one bitness: the installed DLL, whose folder holds
# its sqlite3.dll.
dll_path() { printf '%s\n' "$install_win\\$(arch "$1")\\OBZeveVevuVAD$1.dll"; }

# The keys that both bitnesses share (ProgIDs, type library, interfaces)
# under a classes root.
check_shared() {
  local root=$1 entry name clsid iid
  for entry in "${classes[@]}"; do
    name=${entry%%|*}; clsid=${entry#*|}
    expect_tree 64 "$root\\Ombrel.$name.1" "|(Default)|$name Class" "CLSID|(Default)|$clsid"
    expect_tree 64 "$root\\Ombrel.$name" "|(Default)|$name Class" "CurVer|(Default)|Ombrel.$name.1"
  done
  expect_tree 64 "$root\\TypeLib\\$libid\\1.0" "|(Default)|OBZeveVevuVAD 1.0 Type Library"
  for entry in "${interfaces[@]}"; do
    name=${entry%%|*}; iid=${entry#*|}
    expect_tree 64 "$root\\Interface\\$iid" "|(Default)|$name" "TypeLib|(Default)|$libid"
  done
  expect_no_key 64 "$root\\AppID\\{D3A32E6D-3EE4-4BBD-8FC8-862A43E3B3A2}"
}
# The keys of one bitness: its class keys in its view, its type library path.
check_own() {  # root bits
  local root=$1 bits=$2 entry name clsid dll
  dll=$(dll_path "$bits")
  for entry in "${classes[@]}"; do
    name=${entry%%|*}; clsid=${entry#*|}
    expect_tree "$bits" "$root\\CLSID\\$clsid" "|(Default)|$name Class" "ProgID|(Default)|Ombrel.$name.1" \
      "VersionIndependentProgID|(Default)|Ombrel.$name" "Programmable||" "InprocServer32|(Default)|$dll" \
      "InprocServer32|ThreadingModel|Both" "TypeLib|(Default)|$libid" "Version|(Default)|1.0"
  done
  expect_tree 64 "$root\\TypeLib\\$libid\\1.0\\409" "win$bits|(Default)|$dll"
}
check_own_gone() {  # root bits
  local root=$1 bits=$2 entry
  for entry in "${classes[@]}"; do expect_no_key "$bits" "$root\\CLSID\\${entry#*|}"; done
  expect_no_key 64 "$root\\TypeLib\\$libid\\1.0\\409\\win$bits"
}
check_unregistered() {  # root
  local root=$1 entry name
  for entry in "${classes[@]}"; do
    name=${entry%%|*}
    expect_no_key 64 "$root\\Ombrel.$name.1"
    expect_no_key 64 "$root\\Ombrel.$name"
  done
  for bits in 64 32; do check_own_gone "$root" "$bits"; done
  expect_no_key 64 "$root\\TypeLib\\$libid"
  expect_no_key 64 "$root\\Interface\\{7917B64A-4E00-4F07-B804-230A95F98826}"
}

# Runs a VBScript or JScript file through the script host of one bitness.
# Wine's cscript ends a script that raises an error with exit code 0, so the
# client must also print its closing line.
script() {  # bits file [arguments]
  local bits=$1 file=$2 out status=0; shift 2
  echo "== cscript $(basename "$file") $* ($bits-bit)"
  out=$(wbits "$bits" cscript //nologo "$(w64 winepath -w "$file" 2>/dev/null | tr -d '\r')" "$@" \
        2>&1 | tr -d '\r') || status=$?
  printf '%s\n' "$out"
  if [ "$status" -eq 0 ] && printf '%s\n' "$out" | grep -q ': all checks passed$'; then
    pass "cscript $(basename "$file") $* ($bits-bit)"
  else fail "cscript $(basename "$file") $* ($bits-bit) (exit $status)"; fi
}
vbs() { local bits=$1 name=$2; shift 2; script "$bits" "$root/tests/windows/$name" "$@"; }

# Runs a batch file of the install folder through the 64-bit cmd, expecting
# an exit code.
batch() {  # expected-exit script [arguments]
  local expected=$1 name=$2 status=0; shift 2
  echo "== $name $*"
  w64 cmd /c "$install_win\\$name" "$@" 2>&1 | tr -d '\r' || status=$?
  if [ "$status" -eq "$expected" ]; then pass "$name $* (exit $status)"
  else fail "$name $*: exit $status, expected $expected"; fi
}

# Runs an example of the client guide and compares what it prints with the
# guide's output block for it (both extracted from docs/clients.md by the
# build).
guide_example() {  # bits name command...
  local bits=$1 name=$2 out status=0; shift 2
  echo "== guide example $name ($bits-bit)"
  out=$("$@" | tr -d '\r') || status=$?
  if [ "$status" -eq 0 ] && diff -u "$build/x64/guide/$name.out" <(printf '%s\n' "$out"); then
    pass "guide example $name ($bits-bit)"
  else fail "guide example $name ($bits-bit) (exit $status; the diff above is guide -> actual)"; fi
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
    if [ "$action" = add ]; then w64 reg add "$root\\Ombrel.$name\\CLSID" /ve /d "$clsid" /f >/dev/null 2>&1
    else w64 reg delete "$root\\Ombrel.$name\\CLSID" /f >/dev/null 2>&1 || true; fi
  done
}

# Windows' type-library marshaler, which carries the calls of a thread that
# was handed an object of another apartment, finds the library under the
# locale it is registered with (409); Wine's looks under locale 0 only. The
# test adds that key for the apartment client, as it adds the CurVer CLSID
# keys above, and removes it again before unregistering.
typelib_shim() {  # add|remove classes-root
  local action=$1 key="$2\\TypeLib\\$libid\\1.0\\0" bits
  for bits in "${bitnesses[@]}"; do
    if [ "$action" = add ]; then w64 reg add "$key\\win$bits" /ve /d "$(dll_path "$bits")" /f >/dev/null 2>&1; fi
  done
  if [ "$action" = remove ]; then w64 reg delete "$key" /f >/dev/null 2>&1 || true; fi
}

# The files that RoundTrip.vbs imports (8-bit and UTF-16 with a BOM).
import_dir="$WINEPREFIX/drive_c/obz-import"
mkdir -p "$import_dir"
printf "'a1'#'apple'#3;\r\n'a2'#'pear'#NULL;\r\n'a3'#'it''s'#7;\r\n" > "$import_dir/items.txt"
{ printf '\377\376'; printf "'w1'|'\344\270\255\346\226\207'|1#'w2'|'x'|2#" | iconv -f UTF-8 -t UTF-16LE; } \
  > "$import_dir/wide.txt"

for file in x64/OBZeveVevuVAD64.dll x64/sqlite3.dll x64/OBZeveVevuVAD.tlb x86/OBZeveVevuVAD32.dll x86/sqlite3.dll \
            x86/OBZeveVevuVAD.tlb install.cmd uninstall.cmd clients.md api.md include/OBZeveVevuVAD.h \
            include/obzkit/EventSink.h examples/guide.vbs examples/guide.js examples/guide.cpp; do
  if [ -f "$install_dir/$file" ]; then pass "installed $file"; else fail "the install folder lacks $file"; fi
done
zip_listing=$(cmake -E tar tf "$package.zip" 2>/dev/null) || true
if printf '%s\n' "$zip_listing" | grep -qx "OBZeveVevuVAD/x86/OBZeveVevuVAD32.dll"; then
  pass "the package zip holds the folder"
else fail "the package zip $package.zip is missing or incomplete"; fi
batch 2 install.cmd /bogus
batch 2 install.cmd /x64 /x86
expect_no_key 64 'HKCR\Ombrel.ZeveVevuVAD.1'

# --- machine-wide ----------------------------------------------------------
machine='HKLM\Software\Classes'
batch 0 install.cmd /machine
batch 0 install.cmd /machine   # again: ForceRemove rewrites the keys
check_shared "$machine"
for bits in "${bitnesses[@]}"; do check_own "$machine" "$bits"; done
expect_no_key 64 'HKCU\Software\Classes\Ombrel.ZeveVevuVAD'
curver_shim add "$machine"
typelib_shim add "$machine"
for bits in "${bitnesses[@]}"; do
  bin="$build/$(arch "$bits")/bin"
  vbs "$bits" RoundTrip.vbs .1
  vbs "$bits" RoundTrip.vbs
  guide_example "$bits" guide.vbs wbits "$bits" cscript //nologo "$install_win\\examples\\guide.vbs"
  guide_example "$bits" guide.js wbits "$bits" cscript //nologo "$install_win\\examples\\guide.js"
  guide_example "$bits" guide.cpp wbits "$bits" "$bin/obz-guide-example.exe"
  run "$bits" "type info client" "$bin/obz-typeinfo-client.exe"
  run "$bits" "single-threaded apartment client" "$bin/obz-sta-client.exe"
  script "$bits" "$root/bench/ScriptCalls.vbs"
done
# One data folder for both: the install folder of the 64-bit view.
w64 reg add 'HKLM\SOFTWARE\VANTORIS\ObzShared' /v Ombrel /d 'C:\obz-shared\run.exe' /f /reg:64 >/dev/null 2>&1
if [ ${#bitnesses[@]} -eq 2 ]; then
  vbs 64 SharedData.vbs write 64 && vbs 32 SharedData.vbs read 64
  vbs 32 SharedData.vbs write 32 && vbs 64 SharedData.vbs read 32
fi
w64 reg delete 'HKLM\SOFTWARE\VANTORIS' /f /reg:64 >/dev/null 2>&1 || true
typelib_shim remove "$machine"
curver_shim remove "$machine"

# Unregistering one bitness leaves the other working.
if [ ${#bitnesses[@]} -eq 2 ]; then
  for gone in 32 64; do
    kept=$((96 - gone))
    batch 0 uninstall.cmd /machine "/$(arch "$gone")"
    check_own_gone "$machine" "$gone"
    check_shared "$machine"
    check_own "$machine" "$kept"
    vbs "$kept" RoundTrip.vbs .1
    batch 0 install.cmd /machine "/$(arch "$gone")"
  done
fi
batch 0 uninstall.cmd /machine
check_unregistered 'HKCR'
expect_key 64 'HKCR\CLSID'
batch 0 uninstall.cmd /machine   # nothing left: not registered, no failure

# --- per user --------------------------------------------------------------
# Wine keeps one per-user class key for both bitnesses (Windows keeps the
# 32-bit one under Software\Classes\Wow6432Node), so here each bitness is
# registered per user on its own; side by side, machine-wide only. Wine's
# HKEY_CLASSES_ROOT does not merge the user's classes over the machine's as
# Windows does either, so clients cannot find per-user classes here: the
# per-user stage checks the keys, and runs the portable suites meanwhile.
user='HKCU\Software\Classes'
for bits in "${bitnesses[@]}"; do
  batch 0 install.cmd "/$(arch "$bits")"
  check_shared "$user"
  check_own "$user" "$bits"
  expect_no_key 64 'HKLM\Software\Classes\Ombrel.ZeveVevuVAD'
  expect_no_key "$bits" 'HKLM\Software\Classes\CLSID\{F59CFD47-99A5-4BFA-B936-C03A62C53679}'
  # The type library goes to the user's classes too (through the HKCR
  # override when the system's RegisterTypeLibForUser registers
  # machine-wide).
  expect_no_key 64 "HKLM\Software\Classes\TypeLib\\$libid"
  for suite in ${suites[@]+"${suites[@]}"}; do
    run "$bits" "$suite" "$build/$(arch "$bits")/bin/$suite.exe" --gtest_brief=1
  done
  batch 0 uninstall.cmd "/$(arch "$bits")"
  check_unregistered "$user"
done
batch 0 uninstall.cmd   # nothing left: not registered, no failure
check_unregistered 'HKCR'

wineserver -k || true
echo "windows-test: $((SECONDS - started)) s for the stage; bitnesses tested: ${bitnesses[*]}"
if [ "$failures" -ne 0 ]; then
  echo "windows-test: $failures failure(s)"
  exit 1
fi
echo "windows-test: all passed"
