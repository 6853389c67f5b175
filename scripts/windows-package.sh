#!/usr/bin/env bash
# Builds the Windows DLL for both bitnesses with mingw-w64 and lays out the
# folder a Windows user receives, then zips it:
#   DEST/install.cmd, DEST/uninstall.cmd      registration of both DLLs
#   DEST/x64/OBZeveVevuVAD64.dll, sqlite3.dll, OBZeveVevuVAD.tlb
#   DEST/x86/OBZeveVevuVAD32.dll, sqlite3.dll, OBZeveVevuVAD.tlb
#   DEST/clients.md, api.md, behaviour.md, examples/, include/
#   DEST/LICENSE, DEST/THIRD-PARTY-NOTICES    when the sources have them
#   DEST.zip                                  the folder, zipped
# Usage: scripts/windows-package.sh DEST [BUILD]
#   BUILD (default build-win) holds the two builds, BUILD/x64 and BUILD/x86.
#   OBZ_WIN_TARGETS may name more targets to build in both (the Windows
#   stage's test programs).
# Needs: g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine64
# libwine-dev npm (scripts/deps.sh --windows installs what is missing).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: scripts/windows-package.sh DEST [BUILD]" >&2
  exit 2
fi
absolute() { case "$1" in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$root/$1" ;; esac; }
dest=$(absolute "$1")
build=$(absolute "${2:-build-win}")

# --- packages --------------------------------------------------------------
bash scripts/deps.sh --windows

# --- the two builds --------------------------------------------------------
read -r -a extra <<< "${OBZ_WIN_TARGETS:-}"
for arch in x64:x86_64:64 x86:i686:32; do
  IFS=: read -r folder toolchain bits <<< "$arch"
  echo "== building the ${bits}-bit DLL in $build/$folder"
  cmake -S . -B "$build/$folder" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build/$folder" -j"$(nproc)" --target "OBZeveVevuVAD$bits" sqlite3 obz_typelib \
    ${extra[@]+"${extra[@]}"}
done

# --- the folder and its zip ------------------------------------------------
rm -rf "$dest" "$dest.zip"
for folder in x64 x86; do
  cmake --install "$build/$folder" --prefix "$dest" >/dev/null
done
for notice in LICENSE THIRD-PARTY-NOTICES; do
  if [ -f "$root/$notice" ]; then cp "$root/$notice" "$dest/"; fi
done
(cd "$(dirname "$dest")" && cmake -E tar cf "$dest.zip" --format=zip -- "$(basename "$dest")")
echo "windows-package: $dest and $dest.zip"
