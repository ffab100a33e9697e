#!/usr/bin/env bash
# Builds the shipped i686 artefact, the x86_64 build that runs under Wine,
# and the native build of the pure functions with their unit tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"

for arch in i686 x86_64; do
  cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" >/dev/null
  cmake --build "build/$arch" -j "$jobs"
done
