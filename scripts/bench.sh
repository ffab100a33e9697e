#!/usr/bin/env bash
# Times the setup against minimal reference programs under Wine (bench/) and
# prints min/median/max and the ratios of the medians.
#
#   scripts/bench.sh [--short]
#
# 30 runs of each program and stage, 10 with --short; BENCH_RUNS=N overrides
# both. Needs build/x86_64 configured by scripts/build.sh; the setup, the
# payload and the bench programs are brought up to date there first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORVALEN_BUILD:-$root/build/x86_64}
runs=30
if [[ ${1:-} == --short ]]; then
  runs=10
fi
runs=${BENCH_RUNS:-$runs}

if [[ ! -f $build/CMakeCache.txt ]]; then
  echo "bench: $build is not configured: run scripts/build.sh first" >&2
  exit 2
fi
mkdir -p "$root/build/bench"
log=$root/build/bench/build.log
# One target at a time: a build that regenerates its makefiles skips the later ones.
for target in setup payload bench; do
  if ! cmake --build "$build" --target "$target" -j "$(nproc)" >"$log" 2>&1; then
    cat "$log" >&2
    echo "bench: building $target failed (is bench/ added to the top CMakeLists.txt?)" >&2
    exit 2
  fi
done
MORVALEN_BUILD=$build exec /usr/bin/python3 -B "$root/bench/run_bench.py" "$runs"
