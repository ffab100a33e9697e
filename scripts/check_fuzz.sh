#!/usr/bin/env bash
# Builds the fuzz targets of the pure text functions (libFuzzer, ASan, UBSan)
# and runs each for FUZZ_SECONDS (default 20) over a scratch copy of its
# committed corpus. Exits nonzero on any finding or failed build.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-20}
out="$root/build/fuzz"
cxx=$(command -v clang++-14 || command -v clang++)
targets=(fuzz_dir_text fuzz_path_text fuzz_messages)
sources=(common/text.cpp common/product.cpp setup/messages.cpp setup/ui/dir_text.cpp
         setup/files/path_text.cpp setup/shell/shell_text.cpp)

mkdir -p "$out"
pids=()
for target in "${targets[@]}"; do
  "$cxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -fno-omit-frame-pointer -Wall -Wextra -I "$root/setup" -I "$root" \
    "$root/tests/fuzz/$target.cpp" "${sources[@]/#/$root/}" -o "$out/$target" \
    >"$out/$target.build.log" 2>&1 &
  pids+=($!)
done
built=0
for i in "${!targets[@]}"; do
  if ! wait "${pids[$i]}"; then
    built=1
    cat "$out/${targets[$i]}.build.log"
  fi
done
if [ "$built" -ne 0 ]; then
  echo "fuzz targets did not build"
  exit 1
fi

findings=0
for target in "${targets[@]}"; do
  scratch="$out/corpus/$target"
  rm -rf "$scratch" "$out/findings/$target"
  mkdir -p "$scratch" "$out/findings/$target"
  cp "$root/tests/fuzz/corpus/$target/"* "$scratch/"
  log="$out/$target.log"
  # Inputs up to 1200 bytes leave room for a line past every 512-byte limit;
  # longer ones only slow the run down.
  "$out/$target" -max_total_time="$seconds" -max_len=1200 -timeout=10 \
    -dict="$root/tests/fuzz/paths.dict" -print_final_stats=1 \
    -artifact_prefix="$out/findings/$target/" "$scratch" >"$log" 2>&1
  status=$?
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$')
  if [ "$status" -eq 0 ]; then
    echo "$target: ${runs:-?} executions, 0 findings"
  else
    findings=$((findings + 1))
    echo "$target: FINDING after ${runs:-?} executions (exit $status)"
    grep -E 'ERROR|SUMMARY|check failed|runtime error|^  (from|expected|got) ' "$log" | head -n 20
    ls "$out/findings/$target/"* 2>/dev/null
    echo "full log: $log"
  fi
done
[ "$findings" -eq 0 ]
