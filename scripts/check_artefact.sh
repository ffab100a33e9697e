#!/usr/bin/env bash
# Prints the shipped programs' figures and fails when one is out of bounds:
# size, PE versions, subsystem and security flags, base relocations, imports,
# resources, all read from the file itself (scripts/check_artefact.py).
# Without an argument: the i686 build's setup.exe and Uninstal.exe. An
# argument names another file, such as the signed setup of the release ZIP.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -gt 0 ]; then
  exec python3 -B "$root/scripts/check_artefact.py" "$1"
fi
status=0
for program in setup.exe payload/Uninstal.exe; do
  python3 -B "$root/scripts/check_artefact.py" "$root/build/i686/$program" || status=1
done
exit "$status"
