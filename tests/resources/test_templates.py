"""The dialog templates and the version resource as the built executables
carry them, read back with icoutils' wrestool and decoded here from the
documented DLGTEMPLATE and VS_VERSIONINFO layouts; and the release media."""
import functools
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'wine'))
import release  # noqa: E402  (the release step and throwaway certificates, shared with the Wine tests)
import harness  # noqa: E402  (the Wine machines of the end-to-end tests)
sys.path.insert(0, os.path.join(ROOT, 'scripts'))
import check_artefact  # noqa: E402  (the PE reader of the artefact check)
BUILDS = [os.path.join(ROOT, 'build', arch, 'setup.exe') for arch in ('i686', 'x86_64')]

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_SYSMENU, WS_BORDER = 0x00C00000, 0x00080000, 0x00800000
WS_VSCROLL, WS_GROUP, WS_TABSTOP = 0x00200000, 0x00020000, 0x00010000
DS_SETFONT, DS_MODALFRAME = 0x40, 0x80
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX = 0, 1, 3, 7
ES_AUTOHSCROLL = 0x80
SS_LEFT, SS_CENTER, SS_RIGHT, SS_SUNKEN = 0, 1, 2, 0x1000
LBS_NOTIFY, LBS_SORT, LBS_NOINTEGRALHEIGHT, LBS_DISABLENOSCROLL = 1, 2, 0x100, 0x1000
CBS_DROPDOWNLIST, CBS_SORT = 3, 0x100
BUTTON, EDIT, STATIC, LISTBOX, COMBOBOX = 0x80, 0x81, 0x82, 0x83, 0x85

DIALOG_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
CHILD = WS_CHILD | WS_VISIBLE

# (id, class, style, rectangle), in template order.
SETUP_CONTROLS = [
    (1, BUTTON, BS_DEFPUSHBUTTON | WS_TABSTOP, (18, 175, 90, 14)),
    (2, BUTTON, BS_PUSHBUTTON | WS_TABSTOP, (124, 175, 90, 14)),
    (1000, EDIT, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, (10, 56, 155, 15)),
    (1009, STATIC, SS_LEFT | WS_GROUP, (10, 45, 120, 8)),
    (0xFFFF, STATIC, SS_RIGHT | WS_GROUP, (25, 85, 95, 8)),
    (0xFFFF, STATIC, SS_RIGHT | WS_GROUP, (25, 75, 95, 8)),
    (1007, STATIC, SS_LEFT | WS_GROUP, (125, 85, 35, 8)),
    (1006, STATIC, SS_LEFT | WS_GROUP, (125, 75, 60, 8)),   # room for a figure of 9 digits
    (1001, BUTTON, BS_PUSHBUTTON | WS_TABSTOP, (170, 56, 50, 14)),
    (1002, BUTTON, BS_AUTOCHECKBOX | WS_TABSTOP, (40, 120, 145, 10)),
    (1003, BUTTON, BS_AUTOCHECKBOX | WS_TABSTOP, (40, 135, 145, 10)),
    (1010, STATIC, SS_CENTER | SS_SUNKEN | WS_GROUP, (5, 5, 220, 10)),
    (0xFFFF, BUTTON, BS_GROUPBOX, (35, 110, 160, 55)),
    (0xFFFF, BUTTON, BS_GROUPBOX, (5, 35, 220, 65)),
    (1008, STATIC, SS_CENTER | WS_GROUP, (63, 20, 105, 10)),
    (1004, BUTTON, BS_AUTOCHECKBOX | WS_TABSTOP, (40, 150, 145, 10)),
]
BROWSE_CONTROLS = [
    (1, BUTTON, BS_DEFPUSHBUTTON | WS_TABSTOP, (35, 125, 50, 14)),
    (2, BUTTON, BS_PUSHBUTTON | WS_TABSTOP, (101, 125, 50, 14)),
    (1004, LISTBOX, LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | LBS_DISABLENOSCROLL
     | WS_VSCROLL | WS_BORDER | WS_TABSTOP, (5, 25, 120, 90)),
    (1005, COMBOBOX, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, (135, 30, 45, 50)),
    (1000, STATIC, SS_LEFT | WS_GROUP, (10, 10, 165, 8)),
    (0xFFFF, STATIC, SS_CENTER | WS_GROUP, (135, 60, 45, 8)),
    (1006, STATIC, SS_CENTER | WS_GROUP, (131, 70, 53, 8)),  # widened about its centre
    (0xFFFF, STATIC, SS_CENTER | WS_GROUP, (135, 86, 45, 8)),
    (1007, STATIC, SS_CENTER | WS_GROUP, (135, 95, 45, 8)),
]


def read_name(data, pos):
    """A sz_Or_Ord field: 0, 0xFFFF + ordinal, or a UTF-16 string."""
    first = struct.unpack_from('<H', data, pos)[0]
    if first == 0:
        return None, pos + 2
    if first == 0xFFFF:
        return struct.unpack_from('<H', data, pos + 2)[0], pos + 4
    end = pos
    while struct.unpack_from('<H', data, end)[0]:
        end += 2
    return data[pos:end].decode('utf-16-le'), end + 2


def decode(data):
    style, _exstyle, count, x, y, cx, cy = struct.unpack_from('<IIHhhhh', data, 0)
    pos = 18
    _menu, pos = read_name(data, pos)
    _class, pos = read_name(data, pos)
    caption, pos = read_name(data, pos)
    points = struct.unpack_from('<H', data, pos)[0]
    font, pos = read_name(data, pos + 2)
    controls = []
    for _ in range(count):
        pos = (pos + 3) & ~3
        cstyle, _cex, x0, y0, w, h, cid = struct.unpack_from('<IIhhhhH', data, pos)
        pos += 18
        cls, pos = read_name(data, pos)
        text, pos = read_name(data, pos)
        extra = struct.unpack_from('<H', data, pos)[0]
        pos += 2 + extra
        controls.append((cid, cls, cstyle, (x0, y0, w, h), text))
    return dict(style=style, size=(cx, cy), caption=caption, font=(points, font), controls=controls)


def template(exe, number):
    if not os.path.exists(exe):
        pytest.skip(f'{exe} not built')
    raw = subprocess.run(['wrestool', '-x', '--raw', '--type=5', f'--name={number}', exe],
                         check=True, capture_output=True).stdout
    assert raw, f'dialog {number} missing from {exe}'
    return decode(raw)


@pytest.mark.parametrize('exe', BUILDS)
@pytest.mark.parametrize('number,size,caption,expected', [
    (101, (232, 196), None, SETUP_CONTROLS),
    (102, (187, 146), 'Select Installation Directory', BROWSE_CONTROLS),
])
def test_dialog_template_matches_its_layout(exe, number, size, caption, expected):
    dialog = template(exe, number)
    assert dialog['style'] == DIALOG_STYLE
    assert dialog['size'] == size
    assert dialog['font'] == (8, 'MS Sans Serif')
    if caption:
        assert dialog['caption'] == caption
    got = [(cid, cls, style, rect) for cid, cls, style, rect, _ in dialog['controls']]
    assert got == [(cid, cls, CHILD | style, rect) for cid, cls, style, rect in expected]


def test_setup_template_texts_that_stay_as_built():
    controls = {c[0]: c[4] for c in template(BUILDS[0], 101)['controls'] if c[0] != 0xFFFF}
    assert controls[1003] == 'View README.TXT after installation'
    assert controls[2] == 'Cancel' and controls[1001] == 'Browse'
    texts = [c[4] for c in template(BUILDS[0], 101)['controls']]
    for fixed in ('Disk Space Required:', 'Disk Space Available:', 'After Installation', 'Copying Files'):
        assert fixed in texts


def read_version_node(data, pos):
    """One VS_VERSIONINFO node: wLength, wValueLength, wType, szKey, then the
    value and the children, each on a 32-bit boundary. A text value's length
    counts UTF-16 units, a binary one's bytes."""
    length, value_length, kind = struct.unpack_from('<HHH', data, pos)
    assert length >= 6 and pos + length <= len(data), f'node at {pos} runs past the resource'
    key_end = pos + 6
    while data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[pos + 6:key_end].decode('utf-16-le')
    value_pos = (key_end + 2 + 3) & ~3
    if kind == 1:
        value = data[value_pos:value_pos + 2 * value_length].decode('utf-16-le').rstrip('\0')
        child = value_pos + 2 * value_length
    else:
        value = data[value_pos:value_pos + value_length]
        child = value_pos + value_length
    children = []
    child = (child + 3) & ~3
    while child < pos + length:
        node, size = read_version_node(data, child)
        children.append(node)
        child = (child + size + 3) & ~3
    return (key, value, children), length


@functools.lru_cache(maxsize=None)
def version_fields(exe):
    """Every field of version resource 1 by its path, the fixed part decoded."""
    if not os.path.exists(exe):
        pytest.skip(f'{exe} not built')
    raw = subprocess.run(['wrestool', '-x', '--raw', '--type=16', '--name=1', exe],
                         check=True, capture_output=True).stdout
    assert raw, f'version resource missing from {exe}'
    (key, fixed, children), _ = read_version_node(raw, 0)
    assert key == 'VS_VERSION_INFO' and len(fixed) == 52
    signature, _struct_version, file_ms, file_ls, product_ms, product_ls = struct.unpack_from('<6I', fixed)
    assert signature == 0xFEEF04BD
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    fields = {'fixed/FileVersion': split(file_ms, file_ls),
              'fixed/ProductVersion': split(product_ms, product_ls)}

    def walk(prefix, nodes):
        for name, value, below in nodes:
            path = f'{prefix}/{name}' if prefix else name
            if below:
                fields[path] = sorted(child[0] for child in below)
                walk(path, below)
            else:
                fields[path] = value
    walk('', children)
    return fields


STRINGS = 'StringFileInfo/040904E4'


@pytest.mark.parametrize('exe', BUILDS)
@pytest.mark.parametrize('field,expected', [
    ('fixed/FileVersion', (2, 0, 0, 0)),
    ('fixed/ProductVersion', (2, 0, 0, 0)),
    (STRINGS, sorted(['CompanyName', 'FileDescription', 'FileVersion', 'ProductName',
                      'ProductVersion', 'OriginalFilename', 'LegalCopyright'])),
    (f'{STRINGS}/CompanyName', 'Morvalen Software'),
    (f'{STRINGS}/FileDescription', 'Morvalen Setup'),
    (f'{STRINGS}/FileVersion', '2.0'),
    (f'{STRINGS}/ProductName', 'Morvalen'),
    (f'{STRINGS}/ProductVersion', '2.0'),
    (f'{STRINGS}/OriginalFilename', 'setup.exe'),
    (f'{STRINGS}/LegalCopyright', '(C) Morvalen Software'),
    ('VarFileInfo/Translation', struct.pack('<HH', 0x409, 1252)),
])
def test_version_resource_names_the_product(exe, field, expected):
    assert version_fields(exe).get(field) == expected


@pytest.fixture(scope='module')
def signing():
    """A folder under build/ for the signed release steps, with throwaway
    certificates in it and a timestamp server that answers; removed
    afterwards."""
    build = os.path.join(ROOT, 'build', 'i686')
    if not os.path.exists(os.path.join(build, 'CMakeCache.txt')):
        pytest.skip(f'{build} not configured')
    folder = Path(tempfile.mkdtemp(prefix='signing-', dir=os.path.dirname(build)))
    try:
        certificates = release.make_certificates(folder / 'certificates')
        with release.timestamp_server(folder / 'timestamps', certificates) as answering:
            yield folder, certificates, answering
    finally:
        shutil.rmtree(folder, ignore_errors=True)


# The time each timestamp server is given in the tests, and what the rest of
# a signed release step may take besides.
BOUND, MARGIN = 3, 20


def pe_offsets(data):
    """File offsets in a PE32 image: the two header fields that signing sets
    (the checksum and the security data directory) and the code (.text)."""
    header = struct.unpack_from('<I', data, 0x3c)[0]
    count, optional_size = struct.unpack_from('<H', data, header + 6)[0], struct.unpack_from('<H', data, header + 20)[0]
    optional, sections = header + 24, header + 24 + optional_size
    code = next(struct.unpack_from('<I', data, sections + 40 * i + 20)[0] for i in range(count)
                if data[sections + 40 * i:sections + 40 * i + 8].rstrip(b'\0') == b'.text')
    return optional + 64, optional + 96 + 4 * 8, code


@pytest.mark.parametrize('how', ['unsigned', 'pkcs12', 'cert+key', 'not-utf8-password'])
def test_release_archive_holds_the_shipped_setup_and_the_payload_only(signing, how):
    folder, certificates, answering = signing
    build = Path(ROOT) / 'build' / 'i686'
    target, wrapper = folder / how, release.osslsigncode_wrapper(folder / f'{how}-wrapper')
    password = release.PASSWORD
    if how == 'unsigned':
        target = build  # where cpack --preset i686 puts it
        packed = release.pack(build, target, wrapper=wrapper)
    elif how == 'pkcs12':  # with a list of timestamp servers, of which the first never answers
        with release.silent_server() as silent:
            began = time.monotonic()
            packed = release.pack(build, target, wrapper=wrapper, timeout=BOUND + MARGIN + 10,
                                  MORVALEN_SIGN_PKCS12=certificates['pkcs12'], MORVALEN_SIGN_PASSWORD=password,
                                  MORVALEN_SIGN_TIMESTAMP=f'{silent.url};{answering}',
                                  MORVALEN_SIGN_TIMESTAMP_TIMEOUT=BOUND)
            took = time.monotonic() - began
    elif how == 'cert+key':  # named as the cache variables would name them
        packed = release.pack(build, target, wrapper=wrapper,
                              cached=[('MORVALEN_SIGN_CERT', certificates['chain']),
                                      ('MORVALEN_SIGN_KEY', certificates['key']),
                                      ('MORVALEN_SIGN_PASSWORD_FILE', certificates['password_file'])])
    else:  # a PKCS#12 file whose password is Latin-1, in the environment
        password = release.NOT_UTF8_PASSWORD
        certificates = release.make_certificates(folder / f'{how}-certificates', password)
        packed = release.pack(build, target, wrapper=wrapper, MORVALEN_SIGN_PKCS12=certificates['pkcs12'],
                              MORVALEN_SIGN_PASSWORD=password)
    said = packed.stdout + packed.stderr
    assert packed.returncode == 0, said
    runs = release.wrapper_log(wrapper)
    signed_names = [name for name, _ in release.SIGNED_FILES]
    if how == 'pkcs12':
        # The server that answered goes first for the uninstaller.
        assert [run['argv'][run['argv'].index('-ts') + 1] for run in runs] == [silent.url, answering, answering]
        assert took < BOUND + MARGIN, f'the step took {took:.0f} s'
        assert_password_handed_privately(runs, password, build, target)
        for name in signed_names:
            assert re.search(rf'^-- {re.escape(name)} signed \(Authenticode, SHA-256\) with .*, '
                             rf'timestamped by {answering}$', said, re.M), said
    elif how == 'cert+key':  # the publisher's own file, handed on as it is and kept
        assert [run['readpass'] for run in runs] == [str(certificates['password_file'].resolve())] * 2
        assert certificates['password_file'].exists()
    elif how == 'not-utf8-password':
        assert len(runs) == 2
        assert_password_handed_privately(runs, password, build, target)
    else:
        assert runs == []
    if how in ('cert+key', 'not-utf8-password'):
        for name in signed_names:
            assert re.search(rf'^-- {re.escape(name)} signed \(Authenticode, SHA-256\) with .*, without a timestamp$',
                             said, re.M), said
    # CMake wraps a warning's lines.
    unsigned_said = re.search(r'setup\.exe\s+and\s+Uninstal\.exe\s+in\s+Morvalen-2\.0\.zip\s+are\s+UNSIGNED', said)
    assert bool(unsigned_said) == (how == 'unsigned'), said
    built = {'setup.exe': build / 'setup.exe'}
    built.update((name, build / 'payload' / name)
                 for name in ('Morvalen.exe', 'Readme.txt', 'Order.txt', 'Uninstal.exe'))
    with zipfile.ZipFile(target / release.ZIP_NAME) as archive:
        assert sorted(archive.namelist()) == sorted(built)
        packed_files = {name: archive.read(name) for name in built}
    for name, path in built.items():
        if name not in signed_names or how == 'unsigned':
            assert packed_files[name] == path.read_bytes(), f'{name} differs from the build'
    if how == 'unsigned':
        assert_sample_application(packed_files['Morvalen.exe'])
        return
    for name, description in release.SIGNED_FILES:
        assert_signed_as_built(target / name, packed_files[name], built[name].read_bytes(), description,
                               certificates['root'], timestamped=how == 'pkcs12')


def assert_signed_as_built(exe, signed, unsigned, description, root, timestamped):
    """signed is the unsigned build signed (and, if asked, timestamped) by
    the throwaway certificate: it verifies, and nothing else changed."""
    # Signing sets the checksum and the security directory and appends the
    # certificate table; every other byte is the build's, which stays unsigned.
    checksum, directory, code = pe_offsets(unsigned)
    assert struct.unpack_from('<II', unsigned, directory) == (0, 0)
    table_at, table_size = struct.unpack_from('<II', signed, directory)
    assert table_at == len(unsigned) and table_at + table_size == len(signed)
    masked = lambda data: (data[:checksum] + bytes(4) + data[checksum + 4:directory] + bytes(8)
                           + data[directory + 8:len(unsigned)])
    assert masked(signed) == masked(unsigned), exe.name

    exe.write_bytes(signed)
    verified = release.verify(exe, root)
    assert verified.returncode == 0, verified.stdout + verified.stderr
    assert re.search(r'Message digest algorithm\s*: SHA256', verified.stdout), verified.stdout
    assert re.search(rf'description: {description}$', verified.stdout, re.M), verified.stdout
    assert bool(re.search(r'^Timestamp Server Signature verification: ok$', verified.stdout, re.M)) == timestamped, \
        verified.stdout
    if exe.name == 'setup.exe':
        # The artefact's bounds hold for the signed file, its size counted without the table.
        check = subprocess.run(['bash', os.path.join(ROOT, 'scripts', 'check_artefact.sh'), str(exe)],
                               capture_output=True, text=True)
        assert check.returncode == 0, check.stdout
        assert f'size: {len(unsigned)} bytes' in check.stdout

    # One byte of the code changed and the signature no longer holds.
    tampered = bytearray(signed)
    tampered[code + 100] ^= 0x01
    exe.write_bytes(tampered)
    assert release.verify(exe, root).returncode != 0


@pytest.mark.parametrize('act, password, timestamps, message', [
    pytest.param(None, 'not it', '', r'Signing setup\.exe failed', id='wrong-password'),
    # Something changes the image after osslsigncode has signed it.
    pytest.param('tamper', release.PASSWORD, '', r"does not hold its signature.*is\s+not\s+the\s+image's",
                 id='tampered'),
    # The step is terminated while osslsigncode runs.
    pytest.param('interrupt', release.PASSWORD, '', r'Signing setup\.exe failed', id='interrupted'),
    # Ctrl-\ while osslsigncode waits on a server that does not answer.
    pytest.param('quit', release.PASSWORD, '{silent}', r'Signing setup\.exe failed.*stopped by SIGQUIT', id='quit'),
    pytest.param(None, release.PASSWORD, 'http://127.0.0.1:1/first;http://127.0.0.1:1/second',
                 r'each timestamp server of the list was tried.*127\.0\.0\.1:1/first.*127\.0\.0\.1:1/second',
                 id='no-timestamp-server'),
    pytest.param(None, release.PASSWORD, '{silent}', rf'timestamp server {{silent}}: no answer within {BOUND} s',
                 id='silent-timestamp-server'),
    # A timestamp server answered, yet the signature carries no timestamp.
    pytest.param('untimestamped', release.PASSWORD, '{answering}', r'does not hold its signature.*no\s+timestamp',
                 id='untimestamped'),
])
def test_release_step_that_cannot_sign_leaves_no_archive_nor_password(signing, act, password, timestamps, message):
    folder, certificates, answering = signing
    step = Path(tempfile.mkdtemp(prefix='failing-', dir=folder))
    target, wrapper = step / 'release', release.osslsigncode_wrapper(step / 'wrapper', None if act == 'quit' else act)
    target.mkdir()
    (target / release.ZIP_NAME).write_bytes(b'an earlier run')
    build = Path(ROOT) / 'build' / 'i686'
    with release.silent_server() as silent:
        timestamps = timestamps.format(silent=silent.url, answering=answering)
        message = message.format(silent=re.escape(silent.url))
        command, env = release.packing(build, target, wrapper=wrapper, MORVALEN_SIGN_PKCS12=certificates['pkcs12'],
                                       MORVALEN_SIGN_PASSWORD=password, MORVALEN_SIGN_TIMESTAMP=timestamps,
                                       # the signal comes before the time runs out
                                       MORVALEN_SIGN_TIMESTAMP_TIMEOUT=60 if act == 'quit' else BOUND)
        began = time.monotonic()
        with subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) as cpack:
            if act == 'quit':
                assert silent.connected.wait(30), 'osslsigncode did not reach the timestamp server'
                os.kill(release.wrapper_log(wrapper)[0]['parent'], signal.SIGQUIT)
            try:
                _, said = cpack.communicate(timeout=BOUND + MARGIN)
            finally:
                cpack.kill()
        took = time.monotonic() - began
        assert cpack.returncode != 0
        assert re.search(message, said, re.S), said
        assert took < BOUND + MARGIN, f'the step took {took:.0f} s'
        assert not (target / release.ZIP_NAME).exists()
        runs = release.wrapper_log(wrapper)
        assert len(runs) == (len(timestamps.split(';')) if timestamps else 1), runs
        assert not [run for run in runs if release.process_running(run['pid'])], 'osslsigncode still runs'
        assert_password_handed_privately(runs, password, build, target)


def assert_sample_application(packed):
    """The media's Morvalen.exe is the sample application, not the tests'
    launch recorder: it needs no C runtime, and, run as a user would after the
    installation (here its x86_64 build, which Wine runs on this machine),
    its box names it and the folder it was installed in, not the current
    one, and it writes no file."""
    listed = check_artefact.import_table(check_artefact.Image(packed))
    assert sorted(dll.upper() for dll in listed) == ['KERNEL32.DLL', 'USER32.DLL'], listed
    run = harness.Run(Path(ROOT) / 'build' / 'x86_64')
    run.begin()
    try:
        machine = harness.Machine(run, 'sample', None)
        folder = 'C:\\Program Files\\Morvalen'
        machine.path(folder).mkdir(parents=True)
        shutil.copy2(run.build / 'payload' / 'Morvalen.exe', machine.path(folder))
        files = lambda: sorted(path for path in machine.drive_c.rglob('*') if not path.is_dir())
        before = files()
        try:
            shown = machine.run_program(f'{folder}\\Morvalen.exe', 'box', 'exit', cwd='C:\\payload')
        finally:
            machine.stop()
        assert (shown.boxes, shown.exit_code) == ([('Morvalen 2.0', f'Morvalen 2.0 is installed in {folder}.')], 0)
        assert files() == before
    finally:
        run.finish()


def assert_password_handed_privately(runs, password, *trees):
    """Each osslsigncode run read the password from a file and never had it
    on its command line (which anyone can read with ps); that file was the
    owner's alone, in a private folder outside the source and build trees,
    and neither remains; no file in the trees holds the password."""
    for run in runs:
        assert '-readpass' in run['argv'] and not any(password in arg for arg in run['argv']), run['argv']
        held = Path(run['readpass'])
        assert (run['mode'], run['folder_mode']) == (0o600, 0o700), run
        assert not any(held.is_relative_to(Path(tree).resolve()) for tree in (ROOT, *trees)), held
        assert not held.exists() and not held.parent.exists(), held
    for tree in trees:
        for path in Path(tree).rglob('*'):
            assert not (path.is_file() and os.fsencode(password) in path.read_bytes()), path
