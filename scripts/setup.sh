#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building and testing Klavix.
# Idempotent: when every package is already there it only checks and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3
  clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 xvfb xdotool x11-xkb-utils x11-utils imagemagick
  unicode-data fonts-dejavu-extra
  nsis osslsigncode openssl zip unzip
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "setup: all packages present"
fi
