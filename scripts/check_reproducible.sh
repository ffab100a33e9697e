#!/usr/bin/env bash
# Builds the shipped setup and the payload programs a second time, from a copy
# of the source in another folder, and compares them byte for byte with the
# i686 build's: anyone can rebuild a release from its source and compare.
# (The release ZIP's files are compared with the build's in tests/resources.)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/i686
files="setup.exe payload/Morvalen.exe payload/Uninstal.exe"
for file in $files; do
  [ -f "$build/$file" ] || { echo "FAIL: no $file in $build"; exit 1; }
done
other=$(mktemp -d "${TMPDIR:-/tmp}/morvalen-rebuild.XXXXXX")
trap 'rm -rf "$other"' EXIT
mkdir "$other/source"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$other/source" -xf -
start=$(date +%s)
if ! (cd "$other/source" && cmake --preset i686 >/dev/null && cmake --build --preset i686 --target setup payload >/dev/null); then
  echo "FAIL: the second build in $other/source failed"
  exit 1
fi
echo "second build in $other/source: $(( $(date +%s) - start )) s"
fail=0
for file in $files; do
  if cmp -s "$build/$file" "$other/source/build/i686/$file"; then
    echo "$file: identical ($(stat -c %s "$build/$file") bytes)"
  else
    echo "FAIL: $file differs from the first build's, at (offset, bytes in octal):"
    cmp -l "$build/$file" "$other/source/build/i686/$file" | head -n 8
    fail=1
  fi
done
[ "$fail" -eq 0 ] && echo "reproducible: all identical"
exit "$fail"
