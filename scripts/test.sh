#!/usr/bin/env bash
# Installs what is missing, builds every architecture and runs every test:
# the native unit tests (ASan/UBSan), the artefact checks, the Wine tests of
# the x86_64 build here and those of the shipped i686 build in the emulated
# i386 machine (tests/guest), which run beside the others on the second core.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
start=$(date +%s)

bash scripts/bootstrap.sh || exit 1
logs=build/logs
mkdir -p "$logs"
# The guest's image (mostly a download) and its Wine prefix (a boot of its
# own) do not depend on the builds: they are made while the builds compile.
image_start=$(date +%s)
{ bash tests/guest/build-image.sh && /usr/bin/python3 -B tests/wine/harness.py; } > "$logs/guest-image.log" 2>&1 &
image=$!
bash scripts/build.sh || exit 1
wait "$image"
image_status=$?
echo "== guest image and prefix ($(( $(date +%s) - image_start )) s, beside the builds) =="
cat "$logs/guest-image.log"

# Two emulated machines, each with half of the chosen tests: the emulation is
# one processor's work each, and the tests here leave the second core idle
# once they are done.
guest_start=$(date +%s)
guests=()
if [ "$image_status" -eq 0 ]; then
  for shard in 0 1; do
    MORVALEN_GUEST_SHARD=$shard/2 MORVALEN_ARCH=i686 MORVALEN_BUILD="$root/build/i686" /usr/bin/python3 -B \
      -m pytest -p no:cacheprovider -q -rfE -m guest --durations=0 --durations-min=1 tests/wine \
      > "$logs/guest-$shard.log" 2>&1 &
    guests+=($!)
  done
fi

passed=0
failed=0

count() {  # count <log> <regex with one group>
  grep -oE "$2" "$1" | tail -n 1 | grep -oE '[0-9]+' | head -n 1
}

echo "== template and Wine tests =="
MORVALEN_BUILD="$root/build/x86_64" /usr/bin/python3 -B -m pytest -p no:cacheprovider -q -rfE tests/resources tests/wine \
  2>&1 | tee "$logs/wine.log"
wine_status=${PIPESTATUS[0]}
ok=$(count "$logs/wine.log" '[0-9]+ passed')
bad=$(count "$logs/wine.log" '[0-9]+ (failed|error)')
passed=$((passed + ${ok:-0}))
failed=$((failed + ${bad:-0}))
[ "$wine_status" -eq 0 ] || [ "${bad:-0}" -gt 0 ] || failed=$((failed + 1))

# The checks come after the Wine tests here: by then the emulated machines
# are nearly done, and the fuzzers and the second build take both cores.
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

# Before the wait for the emulated machines, which may still keep a core
# busy: the figures are for reading, not bounds.
echo "== benchmarks (short; figures only) =="
if bash scripts/bench.sh --short 2>&1 | tee "$logs/bench.log"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "== Wine tests of the i686 build in the emulated i386 machine =="
if [ "$image_status" -eq 0 ]; then
  for shard in 0 1; do
    wait "${guests[$shard]}"
    guest_status=$?
    cat "$logs/guest-$shard.log"
    ok=$(count "$logs/guest-$shard.log" '[0-9]+ passed')
    bad=$(count "$logs/guest-$shard.log" '[0-9]+ (failed|error)')
    passed=$((passed + ${ok:-0}))
    failed=$((failed + ${bad:-0}))
    [ "$guest_status" -eq 0 ] || [ "${bad:-0}" -gt 0 ] || failed=$((failed + 1))
  done
  echo "guest tests: $(( $(date +%s) - guest_start )) s in all, boots included"
else
  failed=$((failed + 1))
fi

echo "whole suite: $(( $(date +%s) - start )) s"
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
