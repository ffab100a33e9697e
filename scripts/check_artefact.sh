#!/usr/bin/env bash
# Prints the shipped artefact's figures and fails when one is out of bounds:
# size, PE versions, subsystem and security flags, imports, resources (icon
# read back by icoutils).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/i686/setup.exe}
limit=18944
fail=0
bad() { echo "FAIL: $*"; fail=1; }

[ -f "$exe" ] || { echo "FAIL: no artefact at $exe"; exit 1; }
size=$(stat -c %s "$exe")
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
echo "sections (bytes):$(i686-w64-mingw32-objdump -h "$exe" | while read -r _ name size _; do
  [[ $size =~ ^[0-9a-f]{8}$ ]] && printf ' %s %d' "$name" "$((0x$size))"; done)"

# Imports: only the system's own DLLs (no C runtime, which early Windows 95
# lacked), and only functions that Windows 95 already has. GetDiskFreeSpaceExA
# and the component library's functions are looked up at run time.
allowed_dlls="KERNEL32.dll USER32.dll ADVAPI32.dll"
allowed_functions="
CopyFileA CreateDirectoryA DeleteFileA FindClose FindFirstFileA FindNextFileA
GetCurrentDirectoryA GetDiskFreeSpaceA GetLogicalDrives GetModuleHandleA GetProcAddress
LoadLibraryA FreeLibrary
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
