#!/usr/bin/env bash
# Installs the Debian packages the build needs when any is missing, and the
# packages named as arguments (for example clang). dpkg-dev and file serve
# cpack -G DEB (dpkg-shlibdeps finds the package's dependencies).
set -euo pipefail
packages=(cmake g++ make pkg-config libsqlite3-dev sqlite3 libgtest-dev libedit-dev help2man dpkg-dev file "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q "${missing[@]}"
fi
