#!/usr/bin/env bash
# Prints the shipped artefact's figures and fails when one is out of bounds:
# size, PE versions, subsystem and security flags, base relocations, imports,
# resources, all read from the file itself (scripts/check_artefact.py).
# The argument names another file, such as the signed setup of the release ZIP.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec python3 -B "$root/scripts/check_artefact.py" "${1:-$root/build/i686/setup.exe}"
