"""The shipped programs' figures and bounds, read from the PE file itself
(headers, sections, base relocations, imports, resources) by the documented
layouts, so no tool's listing format decides them. Only the check of the
code's absolute addresses asks a disassembler where each instruction starts
and what it addresses. Run by check_artefact.sh."""
import re
import struct
import subprocess
import sys

# The file grows in steps of 512 bytes, one whenever a section's content
# crosses its padding; the section figures say how close each one is. Each
# program by its file name: its size bound and the dialogs it carries.
PROGRAMS = {'setup.exe': (19968, (101, 102)), 'uninstal.exe': (16384, ())}
SIZE_LIMIT, DIALOGS = PROGRAMS['setup.exe']

# Only the system's own DLLs (no C runtime, which early Windows 95 lacked),
# and only functions that Windows 95 already has. GetDiskFreeSpaceExA, the
# library-search calls and the component library's functions are looked up
# at run time.
ALLOWED_DLLS = {'KERNEL32.DLL', 'USER32.DLL', 'ADVAPI32.DLL'}
ALLOWED_FUNCTIONS = set("""
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
CreateFileA ReadFile WriteFile SetFilePointer CloseHandle MoveFileA RemoveDirectoryA GetTempPathA
GetShortPathNameA GetModuleFileNameA GetCommandLineA GetPrivateProfileStringA GetPrivateProfileSectionA
GetTickCount GetCurrentProcessId QueryPerformanceCounter GetSystemTimeAsFileTime RegDeleteKeyA
""".split())

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
RESOURCE_KINDS = {RT_ICON: 'icon', RT_DIALOG: 'dialog', RT_GROUP_ICON: 'icon group',
                  RT_VERSION: 'version', RT_MANIFEST: 'manifest'}
IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64 = 0x14c, 0x8664
PE32, PE32_PLUS = 0x10b, 0x20b
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100
IMAGE_REL_BASED_HIGHLOW, IMAGE_REL_BASED_DIR64 = 3, 10

failed = False


def bad(message):
    global failed
    print(f'FAIL: {message}')
    failed = True


class Image:
    """The headers of a PE file and its data by relative virtual address."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ':
            raise ValueError('no MZ header')
        pe = struct.unpack_from('<I', data, 0x3c)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        self.machine, count, self.stamp = struct.unpack_from('<HHI', data, pe + 4)
        optional_size = struct.unpack_from('<H', data, pe + 20)[0]
        optional = pe + 24
        self.magic = struct.unpack_from('<H', data, optional)[0]
        wide = self.magic == PE32_PLUS
        self.base = struct.unpack_from('<Q' if wide else '<I', data, optional + (24 if wide else 28))[0]
        (self.os_version, _image_version, self.subsystem_version) = (
            struct.unpack_from('<HH', data, optional + 40 + 4 * k) for k in range(3))
        self.image_size, self.headers_size, self.checksum, self.subsystem, self.dll_characteristics = \
            struct.unpack_from('<IIIHH', data, optional + 56)
        self.directories = optional + (112 if wide else 96)
        self.headers_content = optional + optional_size + 40 * count
        self.sections = []
        for i in range(count):
            name, virtual, rva, raw, pointer = struct.unpack_from('<8sIIII', data, optional + optional_size + 40 * i)
            self.sections.append((name.rstrip(b'\0').decode('ascii', 'replace'), virtual, rva, raw, pointer))
        self.pointer_size = 8 if wide else 4

    def directory(self, index):
        return struct.unpack_from('<II', self.data, self.directories + 8 * index)

    def offset(self, rva):
        for _, virtual, start, raw, pointer in self.sections:
            if start <= rva < start + max(virtual, raw):
                return pointer + rva - start
        raise ValueError(f'address {rva:#x} is in no section')

    def word(self, rva, size=4):
        return int.from_bytes(self.data[self.offset(rva):self.offset(rva) + size], 'little')

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b'\0', at)].decode('ascii', 'replace')


def signature_and_size(image, file_size):
    """A signed setup (the release ZIP's) ends in its Authenticode certificate
    table, which the security data directory names: the bound is for the
    image before it."""
    at, length = image.directory(4)
    size = at if length else file_size
    if length:
        print(f'signature: certificate table of {length} bytes after the image')
        if at + length != file_size:
            bad('the certificate table is not at the end of the file')
    else:
        print('signature: none')
    print(f'size: {size} bytes (limit {SIZE_LIMIT})')
    if size > SIZE_LIMIT:
        bad(f'larger than {SIZE_LIMIT} bytes')


def headers(image):
    kind = {(IMAGE_FILE_MACHINE_I386, PE32): 'pei-i386',
            (IMAGE_FILE_MACHINE_AMD64, PE32_PLUS): 'pei-x86-64'}.get((image.machine, image.magic))
    print(f'format: {kind or f"machine {image.machine:#x}, optional header {image.magic:#x}"}')
    print(f'time stamp: {image.stamp}{" (none)" if image.stamp == 0 else ""}, checksum {image.checksum:#x}')
    subsystem_version = '%d.%d' % image.subsystem_version
    os_version = '%d.%d' % image.os_version
    print(f'subsystem: {image.subsystem:08x} version {subsystem_version}, OS version {os_version}')
    if kind != 'pei-i386':
        bad('not a 32-bit x86 image')
    if image.subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        bad('not the GUI subsystem')
    if subsystem_version != '4.0':
        bad('subsystem version is not 4.0')
    if os_version != '4.0':
        bad('OS version is not 4.0')
    # Address-space randomisation and no-execute data: older systems ignore the flags.
    print(f'DllCharacteristics: {image.dll_characteristics:08x}')
    if not image.dll_characteristics & DYNAMIC_BASE:
        bad('DYNAMIC_BASE not set')
    if not image.dll_characteristics & NX_COMPAT:
        bad('NX_COMPAT not set')
    print(f'sections (bytes of content / in the file): headers {image.headers_content} / {image.headers_size}',
          *(f'{name} {virtual} / {raw}' for name, virtual, _, raw, _ in image.sections), sep=', ')


def instructions(path, start, end):
    """(address, bytes, text) of each instruction in .text, from the
    disassembler's lines "address: bytes<tab>instruction"; None unless they
    cover the code from start to end without a gap."""
    listing = subprocess.run(['i686-w64-mingw32-objdump', '-d', '-z', '--insn-width=16', '-j', '.text', path],
                             capture_output=True, text=True).stdout
    found, at = [], start
    for line in listing.splitlines():
        match = re.match(r'\s*([0-9a-f]+):\t((?:[0-9a-f]{2} )*[0-9a-f]{2})\s*\t(.*)$', line)
        if not match:
            continue
        address, code = int(match[1], 16), bytes.fromhex(match[2].replace(' ', ''))
        if address != at:
            return None
        found.append((address, code, match[3].strip()))
        at += len(code)
    return found if at >= end else None


def relocations(image, path):
    """With DYNAMIC_BASE the loader may move the image, so every absolute
    address in the code must have a base relocation, or the moved program
    jumps to where the image used to be."""
    relocs_at, relocs_size = image.directory(5)
    kind = IMAGE_REL_BASED_HIGHLOW if image.pointer_size == 4 else IMAGE_REL_BASED_DIR64
    relocated = set()
    pos = image.offset(relocs_at) if relocs_size else 0
    while relocs_size and pos < image.offset(relocs_at) + relocs_size:
        page, size = struct.unpack_from('<II', image.data, pos)
        if size < 8:
            raise ValueError('a base relocation block of no size')
        for k in range(8, size, 2):
            entry = struct.unpack_from('<H', image.data, pos + k)[0]
            if entry >> 12 == kind:
                relocated.add(page + (entry & 0xfff))
        pos += size
    if image.machine != IMAGE_FILE_MACHINE_I386:
        print(f'base relocations: {len(relocated)}')
        return
    code = next((s for s in image.sections if s[0] == '.text'), None)
    listed = code and instructions(path, image.base + code[2], image.base + code[2] + code[1])
    if not listed:
        bad('could not disassemble the code')
        return
    low, high = image.base + image.sections[0][2], image.base + image.image_size
    checked, missing = 0, []
    for address, insn, text in listed:
        mnemonic, _, operands = text.partition(' ')
        if mnemonic.startswith(('j', 'call')) and '*' not in operands:
            continue  # a direct branch's operand is relative
        at = address - image.base
        for word in re.findall(r'0x[0-9a-f]+', operands):
            value = int(word, 16)
            if low <= value < high:
                checked += 1
                if not any(at + k in relocated and struct.unpack_from('<I', insn, k)[0] == value
                           for k in range(len(insn) - 3)):
                    missing.append(f'  {address:#x}: {text}')
    print(f'base relocations: {len(relocated)}; absolute addresses in the code: {checked}, without one: {len(missing)}')
    for line in missing:
        print(line)
    if missing:
        bad('absolute addresses without a base relocation')


def imports(image):
    at, size = image.directory(1)
    listed = {}
    while size:
        lookup, _stamp, _chain, name, addresses = struct.unpack_from('<5I', image.data, image.offset(at))
        if not (lookup or name or addresses):
            break
        functions = listed.setdefault(image.text(name), [])
        entry = lookup or addresses
        while value := image.word(entry, image.pointer_size):
            if value >> (8 * image.pointer_size - 1):  # by ordinal
                functions.append(f'#{value & 0xffff}')
            else:
                functions.append(image.text(value + 2))  # past the hint
            entry += image.pointer_size
        at += 20
    print('imports:')
    for dll in sorted(listed, key=str.upper):
        print(f'  {dll}: {" ".join(listed[dll])}')
        if dll.upper() not in ALLOWED_DLLS:
            bad(f'imports from {dll}')
    for dll, functions in listed.items():
        for function in functions:
            if function not in ALLOWED_FUNCTIONS:
                bad(f'imports {dll}!{function}, not known on every platform served')
    if not any(listed.values()):
        bad('could not read the import table')


def resources(image):
    """{(type, name, language): data} from the resource directory tree."""
    root, size = image.directory(2)
    found = {}
    if not size:
        return found

    def entries(rva):
        named, numbered = struct.unpack_from('<HH', image.data, image.offset(rva) + 12)
        for k in range(named + numbered):
            key, target = struct.unpack_from('<II', image.data, image.offset(rva) + 16 + 8 * k)
            if key >> 31:
                at = image.offset(root + (key & 0x7fffffff))
                length = struct.unpack_from('<H', image.data, at)[0]
                key = image.data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
            yield key, target

    for kind, names in entries(root):
        for name, languages in entries(root + (names & 0x7fffffff)):
            for language, leaf in entries(root + (languages & 0x7fffffff)):
                data_at, data_size = struct.unpack_from('<II', image.data, image.offset(root + leaf))
                found[kind, name, language] = image.data[image.offset(data_at):image.offset(data_at) + data_size]
    return found


def resource(found, kind, name):
    return next((data for (k, n, _), data in found.items() if (k, n) == (kind, name)), None)


def icon_group(found):
    """The images of an icon group as (width, height, bits, colours), read
    from each image's own bitmap header (a group entry's 0 means 256)."""
    group = resource(found, RT_GROUP_ICON, 101)
    _reserved, kind, count = struct.unpack_from('<HHH', group)
    if kind != 1:
        return None
    images = []
    for k in range(count):
        width, height, colours, _, _planes, _bits, _size, number = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * k)
        icon = resource(found, RT_ICON, number)
        if icon is None or struct.unpack_from('<I', icon)[0] != 40:
            return None
        header_width, header_height, _, bits, _, _, _, _, used = struct.unpack_from('<iiHHIIiiI', icon, 4)
        if (header_width, header_height) != (width or 256, 2 * (height or 256)):  # colour and mask rows
            return None
        images.append((header_width, header_height // 2, bits, used or (1 << bits if bits <= 8 else 0)))
    return images


def resource_checks(image):
    found = resources(image)
    print('resources:')
    for kind, name, language in found:
        what = RESOURCE_KINDS.get(kind, f'type {kind}')
        print(f'  {what} {name}, language {language}: {len(found[kind, name, language])} bytes')
    for kind, name, missing in (*((RT_DIALOG, dialog, f'dialog {dialog} missing') for dialog in DIALOGS),
                                (RT_GROUP_ICON, 101, 'icon group 101 missing'),
                                (RT_VERSION, 1, 'version resource missing'), (RT_MANIFEST, 1, 'manifest missing')):
        if resource(found, kind, name) is None:
            bad(missing)
    images = resource(found, RT_GROUP_ICON, 101) is not None and icon_group(found)
    described = '; '.join(f'{w} x {h}, {bits} bits, {colours} colours' for w, h, bits, colours in images or [])
    print(f'icon group 101: {described or "unreadable"}')
    if images != [(32, 32, 4, 16)]:
        bad('icon group 101 is not exactly one 32 x 32 image in 16 colours')
    if b'requireAdministrator' not in (resource(found, RT_MANIFEST, 1) or b''):
        bad('manifest does not request administrator rights')


def main(path):
    global SIZE_LIMIT, DIALOGS
    name = path.replace('\\', '/').rsplit('/', 1)[-1].lower()
    if name not in PROGRAMS:
        print(f'FAIL: {path} is none of the shipped programs ({", ".join(PROGRAMS)})')
        return 1
    SIZE_LIMIT, DIALOGS = PROGRAMS[name]
    print(f'== {path}')
    try:
        data = open(path, 'rb').read()
    except OSError:
        print(f'FAIL: no artefact at {path}')
        return 1
    try:
        image = Image(data)
        signature_and_size(image, len(data))
        headers(image)
        relocations(image, path)
        imports(image)
        resource_checks(image)
    except (ValueError, struct.error, IndexError, UnicodeDecodeError) as error:
        bad(f'could not read {path} as a PE file: {error}')
    if not failed:
        print('artefact: all bounds kept')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
