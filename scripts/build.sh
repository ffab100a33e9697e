#!/usr/bin/env bash
# Builds the shipped i686 artefact, the x86_64 build that runs under Wine,
# and the native build of the pure functions with their unit tests
# (the presets of CMakePresets.json, one binary folder each under build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

for preset in native i686 x86_64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
