#!/usr/bin/env bash
# Installs everything the two builds and their tests need, from Debian's packages only.
# Idempotent: when every package is already present it returns after one dpkg query.
set -euo pipefail

packages=(
  python3 cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev
  wine wine32:i386 wine64
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wixl msitools osslsigncode openssl time
  xvfb xauth xdotool x11-apps imagemagick
)
# A machine that runs no 32-bit x86 code can still smoke-test the 32-bit
# installer through qemu-user (see tools/test.sh).
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1 && [ "$(uname -m)" = x86_64 ]; then
  packages+=(qemu-user-static)
fi

missing=()
if dpkg --print-foreign-architectures | grep -qx i386; then
  for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
  done
else
  missing=("${packages[@]}")
fi

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "bootstrap: installing ${missing[*]}"
$SUDO dpkg --add-architecture i386
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
