#!/usr/bin/env bash
# Installs the Debian packages a build needs when any is missing, as root or
# with sudo. Without an option: the Linux build's (dpkg-dev and file serve
# cpack -G DEB: dpkg-shlibdeps finds the package's dependencies), and the
# packages named as arguments (for example clang).
#   --windows  the Windows build's instead: mingw-w64 for both bitnesses,
#              Wine's headers and tools, and npm (which fetches the SQLite
#              amalgamation) when no npm is on the PATH.
#   --wine     Wine to run the Windows stage: wine and wine64, and for the
#              32-bit half wine32 (the i386 architecture added first), unless
#              OBZ_WIN_NO_WINE32=1.
set -euo pipefail
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# Installs those of the packages that are missing, with the apt options given
# before "--".
install_missing() {
  local options=() missing=() p
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q ${options[@]+"${options[@]}"} "${missing[@]}"
}

case "${1:-}" in
  --windows)
    packages=(cmake make g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine64 libwine-dev libgtest-dev)
    command -v npm >/dev/null || packages+=(npm)
    install_missing --no-install-recommends -- "${packages[@]}"
    ;;
  --wine)
    packages=(wine wine64)
    if [ "${OBZ_WIN_NO_WINE32:-0}" != 1 ]; then
      if ! installed wine32:i386 && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
      fi
      packages+=(wine32:i386)
    fi
    install_missing --no-install-recommends -- "${packages[@]}"
    ;;
  *)
    install_missing -- cmake g++ make pkg-config libsqlite3-dev sqlite3 libgtest-dev libedit-dev help2man dpkg-dev \
      file "$@"
    ;;
esac
