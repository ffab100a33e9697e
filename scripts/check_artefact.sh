#!/usr/bin/env bash
# Prints the shipped artefact's figures and fails when one is out of bounds:
# size, PE versions, subsystem and security flags, base relocations, imports,
# resources (icon read back by icoutils).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/i686/setup.exe}
# The file grows in steps of 512 bytes, one whenever a section's content
# crosses its padding; the figures below say how close each one is.
limit=19968
fail=0
bad() { echo "FAIL: $*"; fail=1; }

[ -f "$exe" ] || { echo "FAIL: no artefact at $exe"; exit 1; }
# A signed setup (the release ZIP's) ends in its Authenticode certificate
# table, which the security data directory names: the bound is for the
# image before it.
read -r size table < <(python3 - "$exe" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
optional = struct.unpack_from('<I', data, 0x3c)[0] + 24
directories = optional + (96 if struct.unpack_from('<H', data, optional)[0] == 0x10b else 112)
at, length = struct.unpack_from('<II', data, directories + 4 * 8)
print(at if length else len(data), length)
EOF
)
if [ "${table:-0}" -gt 0 ]; then
  echo "signature: certificate table of $table bytes after the image"
  [ $((size + table)) -eq "$(stat -c %s "$exe")" ] || bad "the certificate table is not at the end of the file"
else
  echo "signature: none"
fi
echo "size: $size bytes (limit $limit)"
[ "$size" -le "$limit" ] || bad "larger than $limit bytes"

headers=$(i686-w64-mingw32-objdump -p "$exe")
field() { awk -v k="$1" '$1 == k { print $2; exit }' <<<"$headers"; }
echo "format: $(i686-w64-mingw32-objdump -f "$exe" | awk '/file format/ { print $NF }')"
echo "subsystem: $(field Subsystem) version $(field MajorSubsystemVersion).$(field MinorSubsystemVersion), OS version $(field MajorOSystemVersion).$(field MinorOSystemVersion)"
i686-w64-mingw32-objdump -f "$exe" | grep -q 'pei-i386' || bad "not a 32-bit x86 image"
[ "$(field Subsystem)" = 00000002 ] || bad "not the GUI subsystem"
[ "$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)" = 4.0 ] || bad "subsystem version is not 4.0"
[ "$(field MajorOSystemVersion).$(field MinorOSystemVersion)" = 4.0 ] || bad "OS version is not 4.0"
# Address-space randomisation and no-execute data: older systems ignore the flags.
flags=$((0x$(field DllCharacteristics)))
echo "DllCharacteristics: $(field DllCharacteristics)"
[ $((flags & 0x40)) -ne 0 ] || bad "DYNAMIC_BASE not set"
[ $((flags & 0x100)) -ne 0 ] || bad "NX_COMPAT not set"
# The section table (content and padded size in the file) and the base
# relocations: with DYNAMIC_BASE the loader may move the image, so every
# absolute address in the code must have a relocation, or the moved program
# jumps to where the image used to be.
python3 - "$exe" <<'EOF' || bad "absolute addresses without a base relocation"
import re, struct, subprocess, sys
exe = sys.argv[1]
data = open(exe, 'rb').read()
pe = struct.unpack_from('<I', data, 0x3c)[0]
count, optional_size = struct.unpack_from('<H', data, pe + 6)[0], struct.unpack_from('<H', data, pe + 20)[0]
optional = pe + 24
base = struct.unpack_from('<I', data, optional + 28)[0]
image_size, headers = struct.unpack_from('<II', data, optional + 56)
relocs_at, relocs_size = struct.unpack_from('<II', data, optional + 96 + 5 * 8)
sections = []
for i in range(count):
    name, virtual, rva, raw, pointer = struct.unpack_from('<8sIIII', data, optional + optional_size + 40 * i)
    sections.append((name.rstrip(b'\0').decode(), virtual, rva, raw, pointer))
print(f'sections (bytes of content / in the file): headers {optional + optional_size + 40 * count} / {headers}',
      *(f'{name} {virtual} / {raw}' for name, virtual, _, raw, _ in sections), sep=', ')


def offset(rva):
    return next(pointer + rva - start for _, virtual, start, raw, pointer in sections
                if start <= rva < start + max(virtual, raw))


relocated = set()
pos = offset(relocs_at)
while pos < offset(relocs_at) + relocs_size:
    page, size = struct.unpack_from('<II', data, pos)
    for k in range(8, size, 2):
        entry = struct.unpack_from('<H', data, pos + k)[0]
        if entry >> 12 == 3:  # IMAGE_REL_BASED_HIGHLOW
            relocated.add(page + (entry & 0xfff))
    pos += size
low, high = base + sections[0][2], base + image_size
code = subprocess.run(['i686-w64-mingw32-objdump', '-d', '--insn-width=16', '-j', '.text', exe],
                      capture_output=True, text=True, check=True).stdout
checked, missing = 0, []
for line in code.splitlines():
    parts = line.split('\t')
    if len(parts) < 3 or not parts[0].strip().endswith(':'):
        continue
    at = int(parts[0].strip()[:-1], 16) - base
    insn = bytes.fromhex(parts[1].replace(' ', ''))
    mnemonic, _, operands = parts[2].strip().partition(' ')
    if mnemonic.startswith(('j', 'call')) and '*' not in operands:
        continue  # a direct branch's operand is relative
    for word in re.findall(r'0x[0-9a-f]+', operands):
        value = int(word, 16)
        if low <= value < high:
            checked += 1
            if not any(at + k in relocated and struct.unpack_from('<I', insn, k)[0] == value
                       for k in range(len(insn) - 3)):
                missing.append(f'  {at + base:#x}: {parts[2].strip()}')
print(f'base relocations: {len(relocated)}; absolute addresses in the code: {checked}, without one: {len(missing)}')
for line in missing:
    print(line)
sys.exit(1 if missing else 0)
EOF

# Imports: only the system's own DLLs (no C runtime, which early Windows 95
# lacked), and only functions that Windows 95 already has. GetDiskFreeSpaceExA,
# the library-search calls and the component library's functions are looked
# up at run time.
allowed_dlls="KERNEL32.dll USER32.dll ADVAPI32.dll"
allowed_functions="
CopyFileA CreateDirectoryA DeleteFileA FindClose FindFirstFileA FindNextFileA
GetCurrentDirectoryA GetDiskFreeSpaceA GetLogicalDrives GetModuleHandleA GetProcAddress
LoadLibraryExA FreeLibrary GetSystemDirectoryA GetWindowsDirectoryA
GetVersion GetVersionExA MultiByteToWideChar SetCurrentDirectoryA WinExec
WritePrivateProfileStringA GetFileAttributesA SetFileAttributesA GetCPInfo ExitProcess GetLastError SetErrorMode
CheckDlgButton DialogBoxParamA EndDialog GetDesktopWindow GetDlgItem GetDlgItemTextA
GetParent GetWindowRect InvalidateRect IsDlgButtonChecked MessageBoxA SendDlgItemMessageA
SendMessageA SetDlgItemTextA SetFocus SetWindowPos SetWindowTextA CopyRect OffsetRect
DdeClientTransaction DdeConnect DdeCreateStringHandleA DdeDisconnect DdeFreeStringHandle
DdeInitializeA DdeUninitialize
RegCloseKey RegCreateKeyExA RegOpenKeyExA RegQueryValueExA RegSetValueExA
"
imports=$(awk -F'\t' '
  /DLL Name:/ { split($2, part, " "); dll = part[3]; next }
  /^$/ { dll = "" }
  dll != "" && NF >= 3 && $2 ~ /^[0-9a-f]+$/ { n = split($3, part, " "); print dll, part[n] }
' <<<"$headers")
echo "imports:"
for dll in $(awk '{ print $1 }' <<<"$imports" | sort -u); do
  echo "  $dll: $(awk -v d="$dll" '$1 == d { printf "%s ", $2 }' <<<"$imports")"
  grep -qiw -- "$dll" <<<"$allowed_dlls" || bad "imports from $dll"
done
while read -r dll fn; do
  [ -n "$fn" ] || continue
  grep -qw -- "$fn" <<<"$allowed_functions" || bad "imports $dll!$fn, not known on every platform served"
done <<<"$imports"
[ -n "$imports" ] || bad "could not read the import table"

echo "resources:"
wrestool -l "$exe" | sed 's/^/  /'
resources=$(wrestool -l "$exe")
grep -q -- '--type=5 --name=101 ' <<<"$resources" || bad "dialog 101 missing"
grep -q -- '--type=5 --name=102 ' <<<"$resources" || bad "dialog 102 missing"
grep -q -- '--type=14 --name=101 ' <<<"$resources" || bad "icon group 101 missing"
grep -q -- '--type=16 --name=1 ' <<<"$resources" || bad "version resource missing"
grep -q -- '--type=24 --name=1 ' <<<"$resources" || bad "manifest missing"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
wrestool -x --type=14 --name=101 -o "$scratch/group.ico" "$exe" 2>/dev/null
images=$(icotool -l "$scratch/group.ico" 2>/dev/null)
echo "icon group 101: ${images:-unreadable}"
[ "$(wc -l <<<"$images")" -eq 1 ] && grep -q -- '--width=32 --height=32 --bit-depth=4 --palette-size=16' <<<"$images" \
  || bad "icon group 101 is not exactly one 32 x 32 image in 16 colours"
wrestool -x --raw --type=24 --name=1 "$exe" 2>/dev/null | grep -q 'requireAdministrator' || bad "manifest does not request administrator rights"

[ "$fail" -eq 0 ] && echo "artefact: all bounds kept"
exit "$fail"
