"""End-to-end tests of the directory browser under Wine: what it shows as a
user opens it from the setup dialog, moves through drives and folders, and
leaves it with OK, Cancel, the close box or Escape, and what gets installed
after it."""

import os
import re
from collections import namedtuple

import pytest

from harness import WINE, WINE_CALL_TIMEOUT, PAYLOAD, run_bounded

SETUP = "dialog:Morvalen Setup"
BROWSER = "dialog:Select Installation Directory"

IDOK, IDCANCEL = 1, 2
# Setup dialog.
IDC_DIRECTORY, IDC_BROWSE, IDC_ADD_TO_MENU, IDC_VIEW_README, IDC_START_AFTER = 1000, 1001, 1002, 1003, 1004
# Browser (IDC_DIRECTORY is a static there; the free figure has the same id in both).
IDC_DIR_LIST, IDC_DRIVE_LIST, IDC_FREE_SPACE, IDC_REQUIRED = 1004, 1005, 1006, 1007
VK_ESCAPE = 27

COMPLETED = ("Installation Succeded", "Installation Completed!")
NT_DEFAULT = "C:\\MORVALEN"

# Locales and the ANSI code page Wine gives their programs.
JAPANESE = "ja_JP.UTF-8"   # 932: ソ is 83 5C, its trail byte the separator's
WESTERN = "C.UTF-8"        # 1252: no Japanese at all

# FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, in the form Wine keeps beside a file.
HIDDEN_SYSTEM = b"0x6"

# What the browser shows at one moment.
View = namedtuple("View", "directory free entries drive")


def look():
    return [f"get:{IDC_DIRECTORY}", f"get:{IDC_FREE_SPACE}", f"items:{IDC_DIR_LIST}", f"cursel:{IDC_DRIVE_LIST}"]


def views(result):
    """Every look() in the run, in order; drive is None when no drive is selected."""
    found = []
    events = result.events
    for i, event in enumerate(events):
        if event[:2] == ("items", str(IDC_DIR_LIST)):
            directory, free, selected = events[i - 2], events[i - 1], events[i + 1]
            assert (directory[:2], free[:2], selected[:2]) == (
                ("text", str(IDC_DIRECTORY)), ("text", str(IDC_FREE_SPACE)), ("cursel", str(IDC_DRIVE_LIST)))
            found.append(View(directory[2], free[2], list(event[2:]),
                              selected[3] if int(selected[2]) >= 0 else None))
    return found


def lone_texts(result, control_id):
    """The texts of a control read by a get: of their own, outside any look()."""
    events = result.events
    return [event[2] for i, event in enumerate(events)
            if event[:2] == ("text", str(control_id))
            and not (control_id == IDC_DIRECTORY and events[i + 1][:2] == ("text", str(IDC_FREE_SPACE)))]


def browse(typed=None):
    """Types a directory (if given) and presses Browse at once, as a user would: the
    focus leaves the directory first, as for a mouse click."""
    return ([f"type:{IDC_DIRECTORY}:{typed}"] if typed is not None else []) + [f"click:{IDC_BROWSE}", BROWSER]


def leave(how=f"click:{IDCANCEL}"):
    """Ends the browser (OK, Cancel, the close box, a key) and returns to the setup dialog."""
    return [how, "gone", SETUP]


def install_without_launches():
    return [f"uncheck:{IDC_START_AFTER}", f"uncheck:{IDC_VIEW_README}", f"click:{IDOK}", "box", "exit"]


def entries_of(linux_dir):
    """The list a user should see for a directory: "[..]", then its subdirectories as the
    list box sorts them (ignoring case)."""
    names = [entry.name for entry in os.scandir(linux_dir) if entry.is_dir(follow_symlinks=False)]
    return ["[..]"] + sorted((f"[{name}]" for name in names), key=str.casefold)


def make_tree(root, dirs=(), files=()):
    for name in dirs:
        (root / name).mkdir(parents=True, exist_ok=True)
    for name in files:
        (root / name).write_bytes(b"a file, never listed\r\n")


def map_missing(machine, letter):
    """A letter in the drive mask with no folder behind it: a drive without a medium."""
    (machine.prefix / "dosdevices" / f"{letter.lower()}:").symlink_to(machine.prefix / "no-medium")


def kilobytes(machine, linux_dir):
    return f"{machine.free_kilobytes(linux_dir)}kB"


def short_names(machine, directory):
    """The short (8.3) names of a directory's subdirectories, as Wine's cmd lists them."""
    _, out, _ = run_bounded([WINE, "cmd", "/c", "dir", "/x", "/ad", directory], machine.env,
                            WINE_CALL_TIMEOUT, cwd=machine.drive_c)
    return re.findall(r"<DIR> +(\S+) +\S", out.decode(errors="replace"))


# --- opening -------------------------------------------------------------------

# What is typed (None: the default, untouched), what the browser opens on, the
# button that leaves it and what the setup dialog's field holds afterwards.
OPENINGS = [
    (None, NT_DEFAULT, IDCANCEL, NT_DEFAULT),
    ("Apps", "C:\\Apps", IDCANCEL, "Apps"),      # the current drive (the setup runs in C:\payload)
    ("\\Apps", "C:\\Apps", IDCANCEL, "\\Apps"),  # a leading separator already names the root
    ("", "C:\\", IDCANCEL, ""),
    ("d:\\data", "D:\\data", IDCANCEL, "d:\\data"),  # only the letter is upper-cased
    # A drive and a name: that drive's root, as the installation reads it; OK hands it back.
    ("d:data", "D:\\data", IDOK, "D:\\data"),
]


def test_browser_opens_on_the_directory_being_typed(machine_factory):
    # C: and D: on tmpfs of their own, so the free figures are exact.
    machine = machine_factory("winxp", quiet_c=True)
    d_drive = machine.mount_tmpfs("D", "8m")
    make_tree(machine.drive_c, ["Apps/Sub"], ["Apps/file.txt"])
    make_tree(d_drive, ["Data/Inner"])
    steps = [SETUP]
    for typed, _, button, _ in OPENINGS:
        steps += browse(typed) + ["caption"] + look() + [f"get:{IDC_REQUIRED}"] + leave(f"click:{button}")
        steps.append(f"get:{IDC_DIRECTORY}")
    result = machine.run_setup(*steps, f"click:{IDCANCEL}", "exit")

    c_free, d_free = kilobytes(machine, machine.drive_c), kilobytes(machine, d_drive)
    apps, data = entries_of(machine.drive_c / "Apps"), entries_of(d_drive / "Data")
    assert apps == ["[..]", "[Sub]"]  # the file is not listed
    seen = views(result)
    # The root's order is the list box's own, which the test does not model for its names.
    assert sorted(seen[3].entries) == sorted(entries_of(machine.drive_c))
    assert seen[:3] + seen[4:] == [
        View(NT_DEFAULT, c_free, ["[..]"], "C:\\"),   # C:\MORVALEN does not exist: its search fails
        View("C:\\Apps", c_free, apps, "C:\\"),
        View("C:\\Apps", c_free, apps, "C:\\"),
        # The folder is found whatever its case.
        View("D:\\data", d_free, data, "D:\\"),
        View("D:\\data", d_free, data, "D:\\"),
    ]
    assert (seen[3].directory, seen[3].free, seen[3].drive) == ("C:\\", c_free, "C:\\")
    assert [view.directory for view in seen] == [shown for _, shown, _, _ in OPENINGS]
    assert result.of("caption") == [("Select Installation Directory",)] * len(OPENINGS)
    assert lone_texts(result, IDC_REQUIRED) == ["290kB"] * len(OPENINGS)
    # Cancel leaves the field as typed; OK puts the browser's directory there.
    assert lone_texts(result, IDC_DIRECTORY) == [after for _, _, _, after in OPENINGS]
    assert result.exit_code == 0
    assert machine.ini_bytes() is None


@pytest.mark.parametrize("letter", ["Q", "M"], ids=["no-drive", "no-medium"])
def test_directory_on_a_missing_drive_lists_only_the_parent_entry(machine, letter):
    if letter == "M":
        map_missing(machine, "M")

    result = machine.run_setup(
        SETUP, *browse(f"{letter}:\\Apps"), f"items:{IDC_DRIVE_LIST}", *look(),
        f"dblclk:{IDC_DIR_LIST}:[..]", *look(),
        *leave(f"click:{IDOK}"), f"get:{IDC_FREE_SPACE}", f"get:{IDC_DIRECTORY}",
        f"click:{IDCANCEL}", "exit")

    # A drive without a medium is listed and selected, but shows nothing; a letter
    # that is no drive at all selects nothing.
    drive = None if letter == "Q" else "M:\\"
    assert result.items(IDC_DRIVE_LIST) == ["C:\\"] + ([drive] if drive else [])
    assert views(result) == [View(f"{letter}:\\Apps", "0kB", ["[..]"], drive),
                             View(f"{letter}:\\", "0kB", ["[..]"], drive)]
    assert lone_texts(result, IDC_DIRECTORY) == [f"{letter}:\\"]
    assert result.text(IDC_FREE_SPACE) == "0kB"
    assert result.exit_code == 0


# --- the list and double clicks ----------------------------------------------------

def test_list_shows_subdirectories_and_double_clicks_move_through_them(machine):
    d_drive = machine.mount_tmpfs("D", "8m")
    make_tree(d_drive, ["Data/Sub/Deep", "Data/.hidden", "alpha", "Beta", "gamma", "My Files", ".dot", "Empty",
                        "System"],
              ["file.txt", "Readme", "Data/notes.txt", "Data/Sub/deep.txt"])
    # Wine keeps DOS attributes in this attribute: a hidden system folder to Windows.
    os.setxattr(d_drive / "System", "user.DOSATTRIB", HIDDEN_SYSTEM)
    attributes = machine.attributes("D:\\*")
    assert "H" in attributes[".dot"] and {"H", "S"} <= set(attributes["System"]), attributes
    d_free = kilobytes(machine, d_drive)

    def to(entry):
        return [f"dblclk:{IDC_DIR_LIST}:{entry}"] + look()

    result = machine.run_setup(
        SETUP, *browse("D:\\Data\\"), *look(),
        f"select:{IDC_DIR_LIST}:[Sub]", f"get:{IDC_DIRECTORY}",  # one click only selects
        *to("[Sub]"), *to("[..]"), *to("[..]"), *to("[..]"), *to("[Empty]"), *to("[..]"), *to("[System]"),
        *to("[..]"), *to("[Data]"), *to("[Sub]"), *to("[Deep]"), *to("[..]"),
        *leave(), *browse("D:\\Data\\"), *to("[..]"),
        *leave(), f"click:{IDCANCEL}", "exit")

    root, data, sub = entries_of(d_drive), entries_of(d_drive / "Data"), entries_of(d_drive / "Data" / "Sub")
    # The independent listing must hold what the test means to check.
    assert {"[.dot]", "[System]", "[My Files]"} <= set(root) and "[file.txt]" not in root
    assert data == ["[..]", "[.hidden]", "[Sub]"] and sub == ["[..]", "[Deep]"]
    assert lone_texts(result, IDC_DIRECTORY) == ["D:\\Data\\"]
    seen = [(view.directory, view.entries) for view in views(result)]
    assert seen == [
        ("D:\\Data\\", data),
        ("D:\\Data\\Sub", sub),     # no doubled separator after a trailing one
        ("D:\\Data", data),
        ("D:\\", root),
        ("D:\\", root),             # the root is as far up as it goes
        ("D:\\Empty", ["[..]"]),
        ("D:\\", root),
        ("D:\\System", ["[..]"]),
        ("D:\\", root),
        ("D:\\Data", data),
        ("D:\\Data\\Sub", sub),
        ("D:\\Data\\Sub\\Deep", ["[..]"]),
        ("D:\\Data\\Sub", sub),
        ("D:\\", root),             # up from a directory with a trailing separator
    ]
    assert all(view.free == d_free and view.drive == "D:\\" for view in views(result))
    assert result.exit_code == 0


def test_long_names_and_directories_at_the_limits_of_the_list(machine):
    d_drive = machine.mount_tmpfs("D", "8m")
    # "[name]" must fit 256 bytes with its NUL: 253 characters do, 254 and 255 do not.
    fits, too_long, longest = "a" * 253, "b" * 254, "c" * 255
    # The search pattern "<dir>\*.*" must fit 256 bytes too: a directory of 251 characters
    # can be listed, one of 252 cannot.
    parent = "L" * 200
    listable, unlistable = "m" * 47, "n" * 48
    make_tree(d_drive, [f"{fits}/Inner", too_long, longest, f"{parent}/{listable}/Inner",
                        f"{parent}/{unlistable}/Inner"])
    relative = "r" * 508  # "C:\" in front makes 511 characters: the most the directory holds
    typed = "x" * 600     # read through the 512-byte directory: its first 511

    result = machine.run_setup(
        SETUP, *browse("D:\\"), *look(),
        f"dblclk:{IDC_DIR_LIST}:[{fits}]", *look(),
        f"dblclk:{IDC_DIR_LIST}:[..]", f"dblclk:{IDC_DIR_LIST}:[{parent}]",
        f"dblclk:{IDC_DIR_LIST}:[{listable}]", *look(),
        f"dblclk:{IDC_DIR_LIST}:[..]", f"dblclk:{IDC_DIR_LIST}:[{unlistable}]", *look(),
        *leave(), *browse(relative), f"get:{IDC_DIRECTORY}",
        *leave(), *browse(relative + "r"), f"get:{IDC_DIRECTORY}",
        *leave(), *browse(typed), *look(),
        *leave(f"click:{IDOK}"), f"get:{IDC_DIRECTORY}",
        f"click:{IDCANCEL}", "exit")

    root, entered, listed, unlisted, uncompleted = views(result)
    assert sorted(root.entries) == sorted(["[..]", f"[{fits}]", f"[{parent}]"])
    assert entered.directory == f"D:\\{fits}" and entered.entries == ["[..]"]
    assert len(listed.directory) == 251 and listed.entries == ["[..]", "[Inner]"]
    assert len(unlisted.directory) == 252 and unlisted.entries == ["[..]"]
    # A completion that would not fit leaves the directory as it was typed, and
    # lists nothing under it; OK hands it back so.
    assert (uncompleted.directory, uncompleted.entries) == (typed[:511], ["[..]"])
    assert lone_texts(result, IDC_DIRECTORY) == [f"C:\\{relative}", relative + "r", typed[:511]]
    assert result.exit_code == 0


# --- names in the code page ------------------------------------------------------

def test_double_byte_name_ending_in_the_separator_byte_is_walked_whole(machine_factory):
    machine = machine_factory("winxp", lang=JAPANESE)
    make_tree(machine.drive_c, ["ソ/Alpha", "ソ/表/Deep"])

    result = machine.run_setup(
        SETUP, *browse("C:\\ソ"), *look(), f"dblclk:{IDC_DIR_LIST}:[表]", *look(),
        f"dblclk:{IDC_DIR_LIST}:[..]", *look(), f"dblclk:{IDC_DIR_LIST}:[..]", *look(),
        *leave(), f"click:{IDCANCEL}", "exit")

    so, hyo = entries_of(machine.drive_c / "ソ"), entries_of(machine.drive_c / "ソ" / "表")
    assert so == ["[..]", "[Alpha]", "[表]"] and hyo == ["[..]", "[Deep]"]
    seen = [(view.directory, view.entries, view.drive) for view in views(result)]
    # The root's order is the list box's own.
    assert seen[3][::2] == ("C:\\", "C:\\") and sorted(seen[3][1]) == sorted(entries_of(machine.drive_c))
    assert seen[:3] == [("C:\\ソ", so, "C:\\"), ("C:\\ソ\\表", hyo, "C:\\"), ("C:\\ソ", so, "C:\\")]
    assert result.exit_code == 0


def test_name_the_code_page_cannot_show_is_listed_by_its_short_name(machine_factory):
    machine = machine_factory("winxp", lang=WESTERN)
    make_tree(machine.drive_c, ["uni/データ/Inner"])
    machine.start()
    [short] = short_names(machine, "C:\\uni")
    chosen = f"C:\\uni\\{short}"

    result = machine.run_setup(
        SETUP, *browse("C:\\uni"), *look(), f"dblclk:{IDC_DIR_LIST}:[{short}]", *look(),
        *leave(f"click:{IDOK}"), f"get:{IDC_DIRECTORY}", *install_without_launches())

    assert "?" not in short
    listed, entered = views(result)
    assert listed.entries == ["[..]", f"[{short}]"]
    # Entered, it is the folder itself: its own subfolder is listed.
    assert (entered.directory, entered.entries) == (chosen, ["[..]", "[Inner]"])
    assert lone_texts(result, IDC_DIRECTORY) == [chosen]
    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    assert machine.ini_bytes() == b"[install]\r\nInstallPath=" + chosen.encode() + b"\r\n"
    assert sorted(path.name for path in (machine.drive_c / "uni" / "データ").iterdir()) == sorted(
        PAYLOAD + ("Inner",))
    assert [path.name for path in (machine.drive_c / "uni").iterdir()] == ["データ"]


# --- drives -------------------------------------------------------------------------

def test_choosing_a_drive_moves_to_its_root_and_ok_installs_there(machine_factory):
    machine = machine_factory("winxp", quiet_c=True)
    d_drive = machine.mount_tmpfs("D", "8m")
    make_tree(d_drive, ["Games", "Apps/Deep", "Data/Sub"], ["file.txt"])
    map_missing(machine, "N")
    c_free, d_free = kilobytes(machine, machine.drive_c), kilobytes(machine, d_drive)

    result = machine.run_setup(
        SETUP, f"get:{IDC_FREE_SPACE}", *browse(), f"items:{IDC_DRIVE_LIST}", *look(),
        f"select:{IDC_DRIVE_LIST}:D:\\", *look(),
        f"select:{IDC_DRIVE_LIST}:N:\\", *look(),
        f"select:{IDC_DRIVE_LIST}:C:\\", *look(),
        # The setup dialog stays usable meanwhile and may change the directory under the
        # browser; going up from there must not measure the new drive.
        SETUP, f"type:{IDC_DIRECTORY}:D:\\Data", f"focus:{IDC_ADD_TO_MENU}", BROWSER,
        f"dblclk:{IDC_DIR_LIST}:[..]", *look(),
        f"select:{IDC_DRIVE_LIST}:D:\\", f"dblclk:{IDC_DIR_LIST}:[Apps]", *look(),
        *leave(f"click:{IDOK}"), f"get:{IDC_FREE_SPACE}", f"get:{IDC_DIRECTORY}",
        "focused", f"selection:{IDC_DIRECTORY}",
        *install_without_launches())

    letters = sorted(name[0].upper() for name in os.listdir(machine.prefix / "dosdevices")
                     if len(name) == 2 and name[1] == ":")
    assert letters == ["C", "D", "N"]
    assert result.items(IDC_DRIVE_LIST) == [f"{letter}:\\" for letter in letters]
    opened, d_root, n_root, c_root, moved_under, apps = views(result)
    assert opened == View(NT_DEFAULT, c_free, ["[..]"], "C:\\")
    assert d_root == View("D:\\", d_free, entries_of(d_drive), "D:\\")
    assert n_root == View("N:\\", "0kB", ["[..]"], "N:\\")
    assert (c_root.directory, c_root.free, c_root.drive) == ("C:\\", c_free, "C:\\")
    assert sorted(c_root.entries) == sorted(entries_of(machine.drive_c))
    assert "[windows]" in c_root.entries and "[payload]" in c_root.entries
    assert (moved_under.directory, moved_under.free, moved_under.entries) == ("D:\\", c_free, entries_of(d_drive))
    assert apps == View("D:\\Apps", d_free, ["[..]", "[Deep]"], "D:\\")

    # OK hands the directory to the setup dialog, measured anew and ready to be typed over.
    chosen = "D:\\Apps"
    assert (result.text(IDC_FREE_SPACE, 0), result.text(IDC_FREE_SPACE)) == (c_free, d_free)
    assert lone_texts(result, IDC_DIRECTORY) == [chosen]
    assert result.of("focus") == [(str(IDC_DIRECTORY),)]
    assert result.of("selection") == [(str(IDC_DIRECTORY), "0", str(len(chosen)))]
    # Installed into the chosen folder itself, not a product folder under it.
    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    assert machine.ini_bytes() == b"[install]\r\nInstallPath=" + chosen.encode() + b"\r\n"
    assert sorted(path.name for path in (d_drive / "Apps").iterdir()) == sorted(PAYLOAD + ("Deep",))
    assert {name: (d_drive / "Apps" / name).read_bytes() for name in PAYLOAD} == {
        name: (machine.payload_dir / name).read_bytes() for name in PAYLOAD}
    assert not machine.path(NT_DEFAULT).exists()


# --- network shares ----------------------------------------------------------------

def test_network_directory_is_walked_up_to_its_share(machine_factory):
    machine = machine_factory("winxp")
    share = machine.mount_tmpfs("\\\\fileserver\\apps", "8m")
    make_tree(share, ["Tools/Sub/Deep", "Tools/Other", "Data"])
    share_free = kilobytes(machine, share)
    up = [f"dblclk:{IDC_DIR_LIST}:[..]"] + look()

    result = machine.run_setup(
        SETUP, *browse("\\\\fileserver\\apps\\Tools"), *look(),
        f"dblclk:{IDC_DIR_LIST}:[Sub]", *look(), *up, *up, *up,
        *leave(f"click:{IDOK}"), f"get:{IDC_DIRECTORY}",
        *browse(), *look(), f"select:{IDC_DRIVE_LIST}:C:\\", *look(),
        *leave(), *browse("\\\\fileserver\\apps\\Tools"), f"dblclk:{IDC_DIR_LIST}:[Sub]",
        *leave(f"click:{IDOK}"), f"get:{IDC_DIRECTORY}", f"click:{IDCANCEL}", "exit")

    root = "\\\\fileserver\\apps\\"
    tools = View(root + "Tools", share_free, entries_of(share / "Tools"), None)
    at_root = View(root, share_free, entries_of(share), None)
    assert tools.entries == ["[..]", "[Other]", "[Sub]"]
    seen = views(result)
    assert seen[:6] == [
        tools,                 # as typed, with no drive selected
        View(root + "Tools\\Sub", share_free, ["[..]", "[Deep]"], None),
        tools,
        at_root,               # up to the share's root, and no further
        at_root,
        at_root,               # reopened on what OK handed back
    ]
    assert (seen[6].directory, seen[6].drive) == ("C:\\", "C:\\")
    assert sorted(seen[6].entries) == sorted(entries_of(machine.drive_c))
    assert lone_texts(result, IDC_DIRECTORY) == [root, root + "Tools\\Sub"]
    assert result.exit_code == 0


# --- leaving ----------------------------------------------------------------------

def test_cancel_the_close_box_and_escape_restore_the_directory(machine_factory):
    # C: and D: on tmpfs of their own, so their free figures tell them apart.
    machine = machine_factory("winxp", quiet_c=True)
    d_drive = machine.mount_tmpfs("D", "8m")
    make_tree(d_drive, ["Data"])
    c_free, d_free = kilobytes(machine, machine.drive_c), kilobytes(machine, d_drive)

    result = machine.run_setup(
        # Leaving the field first hands "apps" over without involving Browse's own focus change.
        SETUP, f"type:{IDC_DIRECTORY}:apps", f"focus:{IDC_ADD_TO_MENU}", *browse(), *look(),
        f"select:{IDC_DRIVE_LIST}:D:\\", f"dblclk:{IDC_DIR_LIST}:[Data]", *look(),
        *leave(f"click:{IDCANCEL}"), f"get:{IDC_FREE_SPACE}", f"get:{IDC_DIRECTORY}",
        f"focus:{IDC_ADD_TO_MENU}", "focused",
        *browse(), *look(),
        f"dblclk:{IDC_DIR_LIST}:[..]", *look(),
        *leave("close"), f"get:{IDC_DIRECTORY}", f"focus:{IDC_ADD_TO_MENU}",
        *browse(), *look(),
        f"dblclk:{IDC_DIR_LIST}:[..]", *look(),
        *leave(f"key:{IDC_DIR_LIST}:{VK_ESCAPE}"), f"get:{IDC_DIRECTORY}", f"focus:{IDC_ADD_TO_MENU}",
        *browse(), *look(),
        *leave(), f"click:{IDCANCEL}", "exit")

    c_apps, c_root, d_data = ("C:\\apps", c_free, "C:\\"), ("C:\\", c_free, "C:\\"), ("D:\\Data", d_free, "D:\\")
    assert [(view.directory, view.free, view.drive) for view in views(result)] == [
        c_apps, d_data,
        c_apps, c_root,   # reopened on what it had when opened, completed, on its drive
        c_apps, c_root,   # the close box, and Escape, put it back too
        c_apps]
    # The edit field is not touched: it keeps the text as typed, and its free figure
    # (the third read, after two looks) still speaks of drive C.
    assert lone_texts(result, IDC_DIRECTORY) == ["apps", "apps", "apps"]
    assert result.text(IDC_FREE_SPACE, 2) == c_free
    # Browse was never pressed with the edit field holding the focus, so only the
    # browser's own restore can have brought "C:\apps" back.
    assert result.of("focus") == [(str(IDC_ADD_TO_MENU),)]
    assert result.exit_code == 0
    assert machine.ini_bytes() is None


# The setup dialog stays enabled while browsers are open, so Install or Cancel can be
# pressed there: the browsers close, and the setup does what was asked, with what its
# own dialog showed (not with where the browsers had gone).
@pytest.mark.parametrize("button", [IDCANCEL, IDOK])
def test_install_or_cancel_while_two_browsers_are_open(machine_factory, button):
    machine = machine_factory("winxp")
    typed = "C:\\Typed"
    ending = ([f"click:{IDCANCEL}", "exit"] if button == IDCANCEL
              else [f"type:{IDC_DIRECTORY}:{typed}", *install_without_launches()])
    result = machine.run_setup(
        SETUP, *browse(), f"dblclk:{IDC_DIR_LIST}:[..]",
        SETUP, f"click:{IDC_BROWSE}", BROWSER.replace("dialog:", "another:"), f"dblclk:{IDC_DIR_LIST}:[windows]",
        SETUP, *ending)

    assert result.exit_code == 0
    if button == IDCANCEL:
        assert result.boxes == []
        assert machine.ini_bytes() is None
        assert not machine.path(NT_DEFAULT).exists()
    else:
        assert result.boxes == [COMPLETED]
        assert machine.ini_bytes() == b"[install]\r\nInstallPath=" + typed.encode() + b"\r\n"
        assert sorted(path.name for path in machine.path(typed).iterdir()) == sorted(PAYLOAD)
        assert not any((machine.drive_c / "windows" / name).exists() for name in PAYLOAD)
