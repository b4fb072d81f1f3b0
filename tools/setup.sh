#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12; quick and quiet when all is present.
cd "$(dirname "$0")/.."
source tools/stages.sh

packages=(cmake g++ make googletest libpng-dev zlib1g-dev pkg-config
          g++-mingw-w64-i686-posix mingw-w64-tools
          g++-mingw-w64-x86-64-posix wine wine32:i386 wine64 xvfb xauth
          x11-apps netpbm clang-14 libclang-rt-14-dev valgrind chromium clang-format python3-jsonschema
          help2man lintian bash-completion man-db libssl-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

stage "install ${missing[*]} (a few minutes on a fresh machine)"
[ "$(id -u)" -eq 0 ] && sudo= || sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
quietly build/logs/apt-update.log $sudo apt-get update
quietly build/logs/apt-install.log $sudo apt-get install -y --no-install-recommends "${missing[@]}"
