"""End-to-end tests of the directory browser under Wine: what it shows when it
opens, how the drive list and double clicks move through the tree, what OK and
Cancel hand back to the setup dialog, and what gets installed after it."""

import os

import pytest

from harness import WINE, WINE_CALL_TIMEOUT, PAYLOAD, run_bounded

SETUP = "dialog:Morvalen Setup"
BROWSER = "dialog:Select Installation Directory"

IDOK, IDCANCEL = 1, 2
# The setup dialog's controls; the browser shares IDC_DIRECTORY, IDC_FREE_SPACE and IDC_REQUIRED.
IDC_DIRECTORY, IDC_BROWSE, IDC_VIEW_README, IDC_START_AFTER = 1000, 1001, 1003, 1004
IDC_FREE_SPACE, IDC_REQUIRED = 1006, 1007
IDC_DIR_LIST, IDC_DRIVE_LIST = 1004, 1005

COMPLETED = ("Installation Succeded", "Installation Completed!")
NT_DEFAULT = "C:\\MORVALEN"

# FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, in the form Wine keeps beside a file.
HIDDEN_SYSTEM = b"0x6"


def browse(*steps):
    """Presses Browse (the focus leaves the directory first, as for a mouse click)
    and waits for the browser; the steps then work the browser."""
    return [f"click:{IDC_BROWSE}", BROWSER, *steps]


def back_to_setup(button):
    """Ends the browser with OK, Cancel or the close box and returns to the setup dialog."""
    return ["close" if button == "close" else f"click:{button}", "gone", SETUP]


def install_without_launches():
    return [f"uncheck:{IDC_START_AFTER}", f"uncheck:{IDC_VIEW_README}", f"click:{IDOK}", "box", "exit"]


def listing(directory):
    """The entries the browser should list for a Linux directory, in no order."""
    entries = [f"[{entry.name}]" for entry in os.scandir(directory) if entry.is_dir()] \
        if os.path.isdir(directory) else []
    return sorted(["[..]"] + entries)


def assert_lists(items, directory):
    assert sorted(items) == listing(directory), (items, directory)
    # The list box sorts, without regard to case; the search's order is the file system's.
    plain = [item for item in items if item[1:-1].isalpha()]
    assert plain == sorted(plain, key=lambda item: item[1:-1].casefold()), items


def texts(result, control_id):
    return [value for ident, value in result.of("text") if int(ident) == control_id]


def cursel(result):
    """(index, entry) of each drive-list selection read."""
    return [(int(index), entry) for ident, index, entry in result.of("cursel")
            if int(ident) == IDC_DRIVE_LIST]


def lists(result):
    return [list(row[1:]) for row in result.of("items") if int(row[0]) == IDC_DIR_LIST]


def windows_attributes(machine, pattern):
    """Name -> attribute letters of the entries Wine reports for a pattern (attrib /d)."""
    _, out, _ = run_bounded([WINE, "cmd", "/c", "attrib", "/d", pattern], machine.env,
                            WINE_CALL_TIMEOUT, cwd=machine.drive_c)
    found = {}
    for line in out.decode(errors="replace").splitlines():
        flags, _, path = line.partition(pattern[:3])
        if path:
            found[path.rsplit("\\", 1)[-1]] = flags.replace(" ", "")
    return found


# --- opening ---------------------------------------------------------------------

@pytest.mark.parametrize("typed, shown, drive", [
    (None, NT_DEFAULT, "C:\\"),
    ("Apps", "C:\\Apps", "C:\\"),       # no drive: the current one goes in front
    ("\\Apps", "C:\\Apps", "C:\\"),     # a leading separator already names the root
    ("", "C:\\", "C:\\"),
    ("d:\\data", "D:\\data", "D:\\"),   # the letter is upper-cased, the rest kept
])
def test_browser_opens_on_the_directory_being_typed(machine_factory, typed, shown, drive):
    # C: and D: on tmpfs of their own, so the free figures are exact.
    machine = machine_factory("winxp", quiet_c=True)
    d_root = machine.mount_tmpfs("D", "8m")
    (machine.drive_c / "Apps" / "Sub").mkdir(parents=True)
    (machine.drive_c / "Apps" / "file.txt").write_bytes(b"not listed\r\n")
    (d_root / "data" / "Inner").mkdir(parents=True)
    linux_dir = (d_root if drive == "D:\\" else machine.drive_c).joinpath(*shown[3:].split("\\"))
    free = {"C:\\": machine.free_kilobytes(machine.drive_c), "D:\\": machine.free_kilobytes(d_root)}

    result = machine.run_setup(
        SETUP, *([] if typed is None else [f"type:{IDC_DIRECTORY}:{typed}"]),
        *browse("caption", f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}", f"get:{IDC_REQUIRED}",
                f"items:{IDC_DRIVE_LIST}", f"cursel:{IDC_DRIVE_LIST}", f"items:{IDC_DIR_LIST}"),
        *back_to_setup(IDCANCEL), f"get:{IDC_DIRECTORY}", f"click:{IDCANCEL}", "exit")

    assert result.of("caption") == [("Select Installation Directory",)]
    assert texts(result, IDC_DIRECTORY) == [shown, NT_DEFAULT if typed is None else typed]
    assert result.text(IDC_FREE_SPACE) == f"{free[drive]}kB"
    assert result.text(IDC_REQUIRED) == "290kB"
    assert result.items(IDC_DRIVE_LIST) == ["C:\\", "D:\\"]
    assert cursel(result) == [(["C:\\", "D:\\"].index(drive), drive)]
    assert_lists(result.items(IDC_DIR_LIST), linux_dir)
    assert result.exit_code == 0
    assert machine.ini_bytes() is None


# --- moving through the tree ------------------------------------------------------

def test_double_clicks_walk_the_tree_and_ok_installs_into_the_choice(machine):
    data = machine.drive_c / "Data"
    for name in ("Sub", "alpha", "Beta", "zeta", ".hidden", "Sys"):
        (data / name).mkdir(parents=True)
    os.setxattr(data / "Sys", "user.DOSATTRIB", HIDDEN_SYSTEM)
    (data / "notes.txt").write_bytes(b"a file, not a folder\r\n")
    machine.start()
    attributes = windows_attributes(machine, "C:\\Data\\*")
    assert "H" in attributes[".hidden"] and {"H", "S"} <= set(attributes["Sys"]), attributes

    def look():
        return [f"get:{IDC_DIRECTORY}", f"items:{IDC_DIR_LIST}"]

    result = machine.run_setup(
        SETUP, f"type:{IDC_DIRECTORY}:C:\\",
        *browse(*look(),
                f"dblclk:{IDC_DIR_LIST}:[Data]", *look(),
                f"select:{IDC_DIR_LIST}:[Sub]", f"get:{IDC_DIRECTORY}",  # one click only selects
                f"dblclk:{IDC_DIR_LIST}:[Sub]", *look(),
                f"dblclk:{IDC_DIR_LIST}:[..]", *look(),
                f"dblclk:{IDC_DIR_LIST}:[..]", *look(),
                f"dblclk:{IDC_DIR_LIST}:[..]", *look(),   # never above the root
                f"dblclk:{IDC_DIR_LIST}:[Data]", f"dblclk:{IDC_DIR_LIST}:[Sub]", f"get:{IDC_DIRECTORY}"),
        *back_to_setup(IDOK), f"get:{IDC_DIRECTORY}", "focused", f"selection:{IDC_DIRECTORY}",
        *install_without_launches())

    walk = ["C:\\", "C:\\Data", "C:\\Data", "C:\\Data\\Sub", "C:\\Data", "C:\\", "C:\\", "C:\\Data\\Sub"]
    assert texts(result, IDC_DIRECTORY) == walk + ["C:\\Data\\Sub"]
    shown = [machine.drive_c, data, data / "Sub", data, machine.drive_c, machine.drive_c]
    assert len(lists(result)) == len(shown)
    for items, directory in zip(lists(result), shown):
        assert_lists(items, directory)
    assert "[.hidden]" in lists(result)[1] and "[Sys]" in lists(result)[1]
    # Back in the setup dialog the choice is ready to be typed over.
    assert result.of("focus") == [(str(IDC_DIRECTORY),)]
    assert result.of("selection") == [(str(IDC_DIRECTORY), "0", str(len("C:\\Data\\Sub")))]

    # Installed into the chosen folder itself, not a product folder under it.
    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    assert machine.ini_bytes() == b"[install]\r\nInstallPath=C:\\Data\\Sub\r\n"
    assert sorted(path.name for path in (data / "Sub").iterdir()) == sorted(PAYLOAD)
    assert not machine.path(NT_DEFAULT).exists()


def test_cancel_and_close_box_put_the_directory_back(machine_factory):
    machine = machine_factory("winxp", quiet_c=True)
    d_root = machine.mount_tmpfs("D", "8m")
    (machine.drive_c / "Data" / "Sub").mkdir(parents=True)
    (d_root / "Other").mkdir()
    c_free = f"{machine.free_kilobytes(machine.drive_c)}kB"

    result = machine.run_setup(
        SETUP, f"type:{IDC_DIRECTORY}:C:\\Data\\",
        *browse(f"dblclk:{IDC_DIR_LIST}:[Sub]", f"get:{IDC_DIRECTORY}",  # no doubled separator
                f"select:{IDC_DRIVE_LIST}:D:\\", f"dblclk:{IDC_DIR_LIST}:[Other]",
                f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}"),
        *back_to_setup(IDCANCEL), f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}", "focused",
        # Browse again without touching the edit field: the browser shows what was put back.
        *browse(f"get:{IDC_DIRECTORY}", f"cursel:{IDC_DRIVE_LIST}",
                f"dblclk:{IDC_DIR_LIST}:[..]", f"get:{IDC_DIRECTORY}"),
        *back_to_setup("close"), f"get:{IDC_DIRECTORY}", "focused",
        *browse(f"get:{IDC_DIRECTORY}"), *back_to_setup(IDCANCEL),
        f"click:{IDCANCEL}", "exit")

    focus = [int(ident) for (ident,) in result.of("focus")]
    # With the focus in the edit field, Browse would read its text again and hide a missed restore.
    assert IDC_DIRECTORY not in focus, focus
    assert texts(result, IDC_DIRECTORY) == [
        "C:\\Data\\Sub", "D:\\Other",   # first browser
        "C:\\Data\\",                   # setup dialog after Cancel: untouched
        "C:\\Data\\", "C:\\",           # second browser: the restored directory; [..] goes to the root
        "C:\\Data\\",                   # setup dialog after the close box
        "C:\\Data\\",                   # third browser
    ]
    # The setup dialog's free figure is not refreshed after Cancel.
    assert texts(result, IDC_FREE_SPACE) == [f"{machine.free_kilobytes(d_root)}kB", c_free]
    assert cursel(result) == [(0, "C:\\")]
    assert result.exit_code == 0
    assert machine.ini_bytes() is None


# --- drives ----------------------------------------------------------------------------

def test_drive_list_moves_to_the_chosen_root_and_ok_takes_its_free_space(machine_factory):
    machine = machine_factory("winxp", quiet_c=True)
    d_root = machine.mount_tmpfs("D", "8m")
    (d_root / "Apps" / "Deep").mkdir(parents=True)
    (d_root / "Tools").mkdir()
    machine.map_drive("M", machine.prefix / "no-medium")
    (machine.prefix / "no-medium").rmdir()  # the letter stays, its medium is gone
    c_free, d_free = (f"{machine.free_kilobytes(path)}kB" for path in (machine.drive_c, d_root))

    result = machine.run_setup(
        SETUP, f"get:{IDC_FREE_SPACE}",
        *browse(f"items:{IDC_DRIVE_LIST}", f"cursel:{IDC_DRIVE_LIST}", f"get:{IDC_FREE_SPACE}",
                f"select:{IDC_DRIVE_LIST}:M:\\",
                f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}", f"items:{IDC_DIR_LIST}",
                f"select:{IDC_DRIVE_LIST}:D:\\",
                f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}", f"items:{IDC_DIR_LIST}",
                f"dblclk:{IDC_DIR_LIST}:[Apps]",
                f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}", f"items:{IDC_DIR_LIST}",
                f"cursel:{IDC_DRIVE_LIST}"),
        *back_to_setup(IDOK), f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}",
        *install_without_launches())

    assert result.items(IDC_DRIVE_LIST) == ["C:\\", "D:\\", "M:\\"]
    assert cursel(result) == [(0, "C:\\"), (1, "D:\\")]
    assert texts(result, IDC_DIRECTORY) == ["M:\\", "D:\\", "D:\\Apps", "D:\\Apps"]
    assert texts(result, IDC_FREE_SPACE) == [c_free, c_free, "0kB", d_free, d_free, d_free]
    no_medium, d_listed, apps_listed = lists(result)
    assert no_medium == ["[..]"]
    assert_lists(d_listed, d_root)
    assert_lists(apps_listed, d_root / "Apps")

    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    assert machine.ini_bytes() == b"[install]\r\nInstallPath=D:\\Apps\r\n"
    assert sorted(path.name for path in (d_root / "Apps").iterdir()) == sorted(PAYLOAD + ("Deep",))


@pytest.mark.parametrize("letter", ["Q", "M"], ids=["no-drive", "no-medium"])
def test_directory_on_a_missing_drive_lists_only_the_parent_entry(machine, letter):
    if letter == "M":
        machine.map_drive("M", machine.prefix / "no-medium")
        (machine.prefix / "no-medium").rmdir()
    drives = ["C:\\"] + (["M:\\"] if letter == "M" else [])

    result = machine.run_setup(
        SETUP, f"type:{IDC_DIRECTORY}:{letter}:\\Apps",
        *browse(f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}", f"items:{IDC_DRIVE_LIST}",
                f"cursel:{IDC_DRIVE_LIST}", f"items:{IDC_DIR_LIST}",
                f"dblclk:{IDC_DIR_LIST}:[..]", f"get:{IDC_DIRECTORY}", f"items:{IDC_DIR_LIST}"),
        *back_to_setup(IDOK), f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}",
        f"click:{IDCANCEL}", "exit")

    assert texts(result, IDC_DIRECTORY) == [f"{letter}:\\Apps", f"{letter}:\\", f"{letter}:\\"]
    assert texts(result, IDC_FREE_SPACE) == ["0kB", "0kB"]
    assert result.items(IDC_DRIVE_LIST) == drives
    assert cursel(result) == ([(-1, "")] if letter == "Q" else [(1, "M:\\")])
    assert lists(result) == [["[..]"], ["[..]"]]
    assert result.exit_code == 0


# --- lengths -----------------------------------------------------------------------------

def test_names_and_paths_longer_than_the_buffers_are_skipped_not_cut(machine):
    fits, too_long = "a" * 253, "b" * 254   # "[name]" and its NUL in 256 bytes, or one more
    (machine.drive_c / "L" / fits / "Inner").mkdir(parents=True)
    (machine.drive_c / "L" / too_long).mkdir()
    typed = "x" * 600

    result = machine.run_setup(
        SETUP, f"type:{IDC_DIRECTORY}:C:\\L",
        *browse(f"items:{IDC_DIR_LIST}",
                f"dblclk:{IDC_DIR_LIST}:[{fits}]", f"get:{IDC_DIRECTORY}", f"items:{IDC_DIR_LIST}",
                f"dblclk:{IDC_DIR_LIST}:[..]", f"get:{IDC_DIRECTORY}"),
        *back_to_setup(IDCANCEL),
        # Read through a 512-byte buffer when the field loses the focus, then too long
        # for a drive to go in front.
        f"type:{IDC_DIRECTORY}:{typed}",
        *browse(f"get:{IDC_DIRECTORY}", f"items:{IDC_DIR_LIST}"),
        *back_to_setup(IDOK), f"get:{IDC_DIRECTORY}",
        f"click:{IDCANCEL}", "exit")

    # The search pattern of C:\L\aaa... does not fit 256 bytes: only the parent entry.
    assert lists(result) == [["[..]", f"[{fits}]"], ["[..]"], ["[..]"]]
    assert texts(result, IDC_DIRECTORY) == [f"C:\\L\\{fits}", "C:\\L", typed[:511], typed[:511]]
    assert result.exit_code == 0
