#!/usr/bin/env bash
# Installs what is missing, builds every architecture and runs every test:
# the native unit tests (ASan/UBSan), the artefact checks and the Wine tests.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
start=$(date +%s)

bash scripts/bootstrap.sh || exit 1
bash scripts/build.sh || exit 1

passed=0
failed=0
logs=build/logs
mkdir -p "$logs"

count() {  # count <log> <regex with one group>
  grep -oE "$2" "$1" | tail -n 1 | grep -oE '[0-9]+' | head -n 1
}

echo "== unit tests (native, ASan/UBSan) =="
(cd build/native && ctest --output-on-failure -j "$(nproc)") 2>&1 | tee "$logs/unit.log"
total=$(count "$logs/unit.log" 'out of [0-9]+')
bad=$(count "$logs/unit.log" '[0-9]+ tests failed')
passed=$((passed + ${total:-0} - ${bad:-0}))
failed=$((failed + ${bad:-0}))
[ -n "$total" ] || failed=$((failed + 1))

for check in scripts/check_*.sh; do
  [ -e "$check" ] || continue
  echo "== $(basename "$check" .sh) =="
  if bash "$check"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done

echo "== template and Wine tests =="
MORVALEN_BUILD="$root/build/x86_64" /usr/bin/python3 -B -m pytest -p no:cacheprovider -q -rfE tests/resources tests/wine \
  2>&1 | tee "$logs/wine.log"
wine_status=${PIPESTATUS[0]}
ok=$(count "$logs/wine.log" '[0-9]+ passed')
bad=$(count "$logs/wine.log" '[0-9]+ (failed|error)')
passed=$((passed + ${ok:-0}))
failed=$((failed + ${bad:-0}))
[ "$wine_status" -eq 0 ] || [ "${bad:-0}" -gt 0 ] || failed=$((failed + 1))

echo "== benchmarks (short; figures only) =="
if bash scripts/bench.sh --short 2>&1 | tee "$logs/bench.log"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "whole suite: $(( $(date +%s) - start )) s"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
