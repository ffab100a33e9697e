#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb xauth xdotool imagemagick
  liblnk-utils icoutils
  python3 python3-pytest
  clang libclang-rt-14-dev
  qemu-system-x86 mmdebstrap e2fsprogs kmod cpio
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
