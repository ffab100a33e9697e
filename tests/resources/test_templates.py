"""The dialog templates as the shipped executable carries them, read back with
icoutils' wrestool and decoded here from the documented DLGTEMPLATE layout."""
import os
import struct
import subprocess

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
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
