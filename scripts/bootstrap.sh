#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb xauth xdotool imagemagick
  icoutils osslsigncode openssl
  python3 python3-pytest
  clang libclang-rt-dev
  qemu-system-x86 mmdebstrap e2fsprogs kmod cpio
  locales
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: the double-byte tests run
# under ja_JP.UTF-8 (code page 932). One locale, not the whole locales-all.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  echo "bootstrap: generating ja_JP.UTF-8"
  $sudo localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8
fi
