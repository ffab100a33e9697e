"""End-to-end tests of the setup under Wine: the dialog as a user works it,
and what the installation leaves behind (files, INI record, launches, boxes,
exit status)."""

import os
import shutil
import stat

import pytest

from harness import LAUNCH_LOG, PAYLOAD, platform_notepad, readme_command
from shell_support import UNINSTALL_KEY, links_in, menu_links, programs_folder, reg_values

SETUP = "dialog:Morvalen Setup"

# Control ids of the setup dialog.
IDOK, IDCANCEL = 1, 2
IDC_DIRECTORY, IDC_BROWSE = 1000, 1001
IDC_ADD_TO_MENU, IDC_VIEW_README, IDC_START_AFTER = 1002, 1003, 1004
IDC_FREE_SPACE, IDC_REQUIRED, IDC_THANKS, IDC_DIR_LABEL, IDC_BANNER = 1006, 1007, 1008, 1009, 1010

COMPLETED = ("Installation Succeded", "Installation Completed!")
ABORTED = "Installation Aborted"

NT_DEFAULT = "C:\\MORVALEN"
WIN98_DEFAULT = "C:\\Program Files\\Morvalen"

# The locale whose ANSI code page is 932, where a double-byte character's
# second byte may be the separator's (5C).
JAPANESE = "ja_JP.UTF-8"


def install_steps(directory=None, start=True, readme=True):
    """Types the directory (if given), sets the two launch options, presses Install."""
    steps = [SETUP]
    if directory is not None:
        steps.append(f"type:{IDC_DIRECTORY}:{directory}")
    steps.append(f"{'check' if start else 'uncheck'}:{IDC_START_AFTER}")
    steps.append(f"{'check' if readme else 'uncheck'}:{IDC_VIEW_README}")
    steps.append(f"click:{IDOK}")
    return steps


def payload_contents(machine):
    return {name: (machine.payload_dir / name).read_bytes() for name in PAYLOAD}


def directory_contents(path):
    return {entry.name: entry.read_bytes() for entry in path.iterdir()} if path.is_dir() else None


def ini_record(directory, code_page="latin-1"):
    return b"[install]\r\nInstallPath=" + directory.encode(code_page) + b"\r\n"


def c_drive_tree(machine):
    """Every path under C: (less the test programs' own launch log)."""
    root = machine.drive_c
    paths = set()
    for current, dirs, files in os.walk(root):
        relative = os.path.relpath(current, root)
        paths.update(os.path.normpath(os.path.join(relative, name)) for name in dirs + files)
    paths.discard(LAUNCH_LOG)
    # Wine's own device setup may still write its compiled .inf files there
    # when the machine's services start late on a busy host.
    return {path for path in paths if not path.startswith(os.path.join("windows", "inf"))}


def c_drive_state(machine):
    """Every path under C: with its size and modification time."""
    state = {}
    for path in c_drive_tree(machine):
        stat = os.lstat(machine.drive_c / path)
        state[path] = (stat.st_size, stat.st_mtime_ns)
    return state


def free_kilobytes_between(before, after, figure):
    """The figure shown lies between two measurements taken around the run."""
    low, high = sorted((before, after))
    return low <= int(figure.removesuffix("kB")) <= high


# --- cancel ----------------------------------------------------------------

CANCEL = f"click:{IDCANCEL}"


@pytest.mark.parametrize("version, default_dir, how", [
    ("winxp", NT_DEFAULT, CANCEL),
    ("win98", WIN98_DEFAULT, "close"),
    ("win7", NT_DEFAULT, "close"),      # any NT version takes the older-shell branch
    ("win95", WIN98_DEFAULT, CANCEL),
], ids=["winxp-cancel-button", "win98-close-box", "win7-close-box", "win95-cancel-button"])
def test_cancel_writes_nothing(machine_factory, version, default_dir, how):
    machine = machine_factory(version)
    before = c_drive_state(machine)

    result = machine.run_setup(SETUP, f"get:{IDC_DIRECTORY}", how, "exit")

    assert result.text(IDC_DIRECTORY) == default_dir
    assert result.exit_code == 0
    assert result.boxes == []
    assert machine.ini_bytes() is None
    assert c_drive_state(machine) == before
    assert machine.launches() == []
    assert "Morvalen" not in machine.reg_subkeys(r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall")


# --- default installation ----------------------------------------------------

@pytest.mark.parametrize("version, default_dir, setup", [
    ("winxp", NT_DEFAULT, "built"), ("win98", WIN98_DEFAULT, "built"),
    # The release ZIP's setup, signed: its certificate table must change nothing that runs.
    ("winxp", NT_DEFAULT, "signed")])
def test_default_installation(machine_factory, wine_run, version, default_dir, setup):
    # C: on a tmpfs of its own, so the free figure can be checked against Linux's.
    machine = machine_factory(version, quiet_c=True)
    if setup == "signed":
        shutil.copy2(wine_run.signed_setup(), machine.payload_dir / "setup.exe")
    free_before = machine.free_kilobytes(machine.drive_c)

    result = machine.run_setup(
        SETUP, "caption",
        *(f"get:{i}" for i in (IDC_DIRECTORY, IDC_FREE_SPACE, IDC_REQUIRED, IDC_THANKS, IDC_DIR_LABEL,
                               IDC_BANNER, IDOK, IDCANCEL, IDC_ADD_TO_MENU, IDC_VIEW_README,
                               IDC_START_AFTER)),
        *(f"state:{i}" for i in (IDC_ADD_TO_MENU, IDC_VIEW_README, IDC_START_AFTER)),
        "focused", f"selection:{IDC_DIRECTORY}",
        f"click:{IDOK}", "box", "exit")
    free_after = machine.free_kilobytes(machine.drive_c)

    # What the dialog showed before anything was pressed.
    assert result.of("caption") == [("Morvalen Setup",)]
    assert result.text(IDC_DIRECTORY) == default_dir
    assert result.text(IDC_REQUIRED) == "290kB"
    assert free_kilobytes_between(free_before, free_after, result.text(IDC_FREE_SPACE)), (
        free_before, free_after, result.text(IDC_FREE_SPACE))
    assert result.text(IDC_THANKS) == "Thanks for trying Morvalen!"
    assert result.text(IDC_DIR_LABEL) == "Morvalen Installation Directory:"
    assert result.text(IDC_BANNER).startswith("Morvalen v2.0 - ")
    assert result.text(IDOK) == "Install Morvalen!"
    assert result.text(IDCANCEL) == "Cancel"
    assert result.text(IDC_ADD_TO_MENU) == "Add Morvalen to Programs Menu"
    assert result.text(IDC_VIEW_README) == "View README.TXT after installation"
    assert result.text(IDC_START_AFTER) == "Start Morvalen after installation"
    assert all(result.checked(i) for i in (IDC_ADD_TO_MENU, IDC_VIEW_README, IDC_START_AFTER))
    # The directory has the focus with all of its text selected, ready to be typed over.
    assert result.of("focus") == [(str(IDC_DIRECTORY),)]
    assert result.of("selection") == [(str(IDC_DIRECTORY), "0", str(len(default_dir)))]

    # What the installation left.
    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    assert directory_contents(machine.path(default_dir)) == payload_contents(machine)
    assert machine.ini_bytes() == ini_record(default_dir)


# --- options and launches ------------------------------------------------------

def test_all_options_off_ends_with_the_completion_box_only(machine):
    result = machine.run_setup(
        SETUP,
        *(f"uncheck:{i}" for i in (IDC_ADD_TO_MENU, IDC_VIEW_README, IDC_START_AFTER)),
        *(f"state:{i}" for i in (IDC_ADD_TO_MENU, IDC_VIEW_README, IDC_START_AFTER)),
        f"click:{IDOK}", "box", "exit")

    assert not any(result.checked(i) for i in (IDC_ADD_TO_MENU, IDC_VIEW_README, IDC_START_AFTER))
    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    assert result.of("child") == []
    assert machine.launches() == []
    assert directory_contents(machine.path(NT_DEFAULT)) == payload_contents(machine)


def test_application_starts_before_notepad_after_the_completion_box(machine):
    result = machine.run_setup(*install_steps(), "box", "exit")

    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    launches = sorted(machine.launches(), key=lambda launch: launch.created)
    assert [launch.module for launch in launches] == [
        "C:\\MORVALEN\\Morvalen.exe", platform_notepad("winxp")], launches
    application, notepad = launches
    assert application.created < notepad.created
    assert application.created > result.box_times[0], "started before the box was dismissed"
    assert application.command_line == '"C:\\MORVALEN\\Morvalen.exe"'
    assert application.directory == NT_DEFAULT
    assert notepad.command_line == '"C:\\windows\\system32\\notepad.exe" "C:\\MORVALEN\\readme.txt"'
    assert notepad.directory == NT_DEFAULT


def test_launches_quote_a_directory_with_a_blank(machine_factory, wine_run):
    # Unquoted, the first launch would start this trap instead of the application.
    machine = machine_factory("win98")
    machine.plant("C:\\Program.exe", wine_run.standins / "Program.exe")

    result = machine.run_setup(*install_steps(), "box", "exit")

    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    launches = sorted(machine.launches(), key=lambda launch: launch.created)
    assert [launch.program for launch in launches] == ["Morvalen.exe", "notepad.exe"], launches
    assert launches[0].command_line == f'"{WIN98_DEFAULT}\\Morvalen.exe"'
    assert launches[0].directory == WIN98_DEFAULT
    assert launches[1].command_line == f'"C:\\windows\\notepad.exe" "{WIN98_DEFAULT}\\readme.txt"'


def test_directory_with_double_byte_names_is_used_whole(machine_factory):
    # 表 is 95 5C and ソ is 83 5C in code page 932: neither trail byte is a separator.
    machine = machine_factory("win98", lang=JAPANESE)
    directory = "C:\\ソフト\\表"

    result = machine.run_setup(*install_steps(directory), "box", "exit")

    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    assert directory_contents(machine.drive_c / "ソフト" / "表") == payload_contents(machine)
    assert machine.ini_bytes() == ini_record(directory, "cp932")
    assert reg_values(machine, UNINSTALL_KEY)["UninstallString"] == ("REG_SZ", f"{directory}\\UNINSTAL.EXE")
    assert links_in(programs_folder(machine) / "Morvalen", "cp932") == menu_links(directory)
    launches = sorted(machine.launches(), key=lambda launch: launch.created)
    assert [(launch.program, launch.command_line, launch.directory) for launch in launches] == [
        ("Morvalen.exe", f'"{directory}\\Morvalen.exe"', directory),
        ("notepad.exe", readme_command("win98", directory), directory)]


# --- failures --------------------------------------------------------------------

def test_missing_payload_file_aborts_after_the_files_before_it(machine):
    (machine.payload_dir / "Order.txt").unlink()

    result = machine.run_setup(*install_steps(), "box", "exit")

    assert result.boxes == [(ABORTED, 'Unable to install:  Can\'t copy file "Order.txt"')]
    assert result.exit_code == 1
    assert directory_contents(machine.path(NT_DEFAULT)) == {
        name: (machine.payload_dir / name).read_bytes() for name in ("Morvalen.exe", "Readme.txt")}
    assert machine.ini_bytes() == ini_record(NT_DEFAULT)
    assert machine.launches() == []


# A root that cannot be entered: a drive letter, or a network share, with nothing behind it.
@pytest.mark.parametrize("typed, root", [
    ("Q:\\X", "Q:\\"),
    ("\\\\nowhere\\apps\\X", "\\\\nowhere\\apps\\"),   # never made on C: instead
], ids=["drive", "share"])
def test_drive_that_does_not_exist_shows_two_boxes(machine, typed, root):
    before = c_drive_tree(machine)

    result = machine.run_setup(*install_steps(typed), "box", "box", "exit")

    assert result.boxes == [("Can't change to directory", root),
                            (ABORTED, f'Unable to install:  Can\'t make path "{typed}"')]
    assert result.exit_code == 1
    # The record is written before the directory is made, so it stays.
    assert machine.ini_bytes() == ini_record(typed)
    assert c_drive_tree(machine) == before | {os.path.join("windows", "morvalen.ini")}
    assert machine.launches() == []


def test_component_that_is_a_file_aborts_without_creating_under_it(machine):
    blocker = machine.path("C:\\blocker")
    blocker.write_bytes(b"not a directory\r\n")
    before = c_drive_tree(machine)

    result = machine.run_setup(*install_steps("C:\\blocker\\sub"), "box", "exit")

    assert result.boxes == [(ABORTED, 'Unable to install:  Can\'t make path "C:\\blocker\\sub"')]
    assert result.exit_code == 1
    assert blocker.read_bytes() == b"not a directory\r\n"
    assert c_drive_tree(machine) == before | {os.path.join("windows", "morvalen.ini")}
    assert machine.launches() == []


# --- forms of the typed directory ------------------------------------------------

# typed, the directory created, and the text every later stage names it by:
# the typed one, given only the drive root it lacks.
@pytest.mark.parametrize("typed, created, used", [
    ("C:\\A\\\\B\\", "C:\\A\\B", "C:\\A\\\\B\\"),   # the walk alone skips empty components
    ("Apps\\Morvalen", "C:\\Apps\\Morvalen", "C:\\Apps\\Morvalen"),  # no drive: from the current drive's root
    ("\\Apps\\Morvalen", "C:\\Apps\\Morvalen", "C:\\Apps\\Morvalen"),
    ("C:Foo", "C:\\Foo", "C:\\Foo"),         # a drive without a separator still means its root
    ("c:\\lower\\case", "C:\\lower\\case", "c:\\lower\\case"),
    ("D:\\Apps\\Morvalen", "D:\\Apps\\Morvalen", "D:\\Apps\\Morvalen"),
    ("d:", "D:\\", "d:\\"),                 # a bare drive is its root
])
def test_typed_directory_forms(machine, typed, created, used):
    d_drive = machine.prefix / "d-drive"
    machine.map_drive("D", d_drive)
    before = c_drive_tree(machine)

    result = machine.run_setup(*install_steps(typed, readme=False), "box", "exit")

    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    assert machine.ini_bytes() == ini_record(typed)
    if created.startswith("D:"):
        target = d_drive.joinpath(*created[3:].split("\\"))
    else:
        target = machine.path(created)
    assert directory_contents(target) == payload_contents(machine)
    # Nothing else is created on C: (nothing under the setup's own folder, in particular).
    new_dirs = {os.path.join(*created[3:].split("\\")[:n]) for n in range(1, created.count("\\") + 1)}
    expected = before | {os.path.join("windows", "morvalen.ini")}
    if created.startswith("C:"):
        expected |= new_dirs | {os.path.join(created[3:].replace("\\", os.sep), name) for name in PAYLOAD}
    assert c_drive_tree(machine) == expected
    # The join inserts its separator also after a trailing one.
    assert [(launch.program, launch.command_line, launch.directory) for launch in machine.launches()] == [
        ("Morvalen.exe", f'"{used}\\Morvalen.exe"', created)]


def test_network_directory_is_installed_on_the_share(machine):
    # The share on a tmpfs of its own, so its free figure is exact.
    share = machine.mount_tmpfs("\\\\fileserver\\apps", "8m")
    directory = "\\\\fileserver\\apps\\Morvalen"
    share_free = f"{machine.free_kilobytes(share)}kB"
    before = c_drive_tree(machine)

    result = machine.run_setup(SETUP, f"type:{IDC_DIRECTORY}:{directory}", "tab", f"get:{IDC_FREE_SPACE}",
                               *install_steps(start=False, readme=False)[1:], "box", "exit")

    assert result.text(IDC_FREE_SPACE) == share_free
    assert result.boxes == [COMPLETED]
    assert result.exit_code == 0
    assert directory_contents(share / "Morvalen") == payload_contents(machine)
    assert machine.ini_bytes() == ini_record(directory)
    # Never given a drive: nothing lands on C: but the record.
    assert c_drive_tree(machine) == before | {os.path.join("windows", "morvalen.ini")}


def writable_by_owner(directory):
    """Name -> whether the owner may write the file: Wine shows the read-only attribute otherwise."""
    return {entry.name: bool(entry.stat().st_mode & stat.S_IWUSR) for entry in directory.iterdir()}


def dos_attributes(machine, directory):
    """Name -> the hidden and system attributes of the payload files in a C: directory.
    Wine reports the archive attribute of every file whether it is set or not."""
    found = machine.attributes(directory + "\\*")
    return {name: set(found[name]) & {"H", "S"} for name in PAYLOAD}


# The payload as on a hard disk, or as on a CD, where every file is read-only
# and some may be hidden or system files too.
@pytest.mark.parametrize("payload_mode, payload_attributes", [(0o644, ""), (0o444, ""), (0o444, "HS")],
                         ids=["writable-payload", "read-only-payload", "hidden-system-read-only-payload"])
def test_install_twice_replaces_the_files(machine, payload_mode, payload_attributes):
    for name in PAYLOAD:
        (machine.payload_dir / name).chmod(payload_mode)
        machine.add_attributes(f"C:\\payload\\{name}", payload_attributes)
    # Wine keeps hidden and system in an extended attribute, which not every file
    # system takes: without them on the payload the row would prove nothing.
    assert dos_attributes(machine, "C:\\payload") == dict.fromkeys(PAYLOAD, set(payload_attributes))
    first = machine.run_setup(*install_steps(start=False, readme=False), "box", "exit")
    assert (first.boxes, first.exit_code) == ([COMPLETED], 0)
    installed = machine.path(NT_DEFAULT)
    # The copies never carry the medium's read-only attribute, and keep its others.
    assert writable_by_owner(installed) == dict.fromkeys(PAYLOAD, True)
    assert dos_attributes(machine, NT_DEFAULT) == dict.fromkeys(PAYLOAD, set(payload_attributes))
    (machine.payload_dir / "Readme.txt").write_bytes(b"Morvalen 2.0, second edition\r\n")
    (installed / "Order.txt").write_bytes(b"changed by the user\r\n")

    second = machine.run_setup(*install_steps(start=False, readme=False), "box", "exit")

    assert (second.boxes, second.exit_code) == ([COMPLETED], 0)
    assert directory_contents(installed) == payload_contents(machine)
    assert writable_by_owner(installed) == dict.fromkeys(PAYLOAD, True)
    assert dos_attributes(machine, NT_DEFAULT) == dict.fromkeys(PAYLOAD, set(payload_attributes))
    assert machine.ini_bytes() == ini_record(NT_DEFAULT)


# --- free space ------------------------------------------------------------------

def test_free_figure_refreshes_when_the_directory_loses_the_focus(machine_factory):
    # Both drives on tmpfs: the figures are exact, as nothing else writes there.
    machine = machine_factory("winxp", quiet_c=True)
    small = machine.mount_tmpfs("D", "8m")
    c_free = f"{machine.free_kilobytes(machine.drive_c)}kB"
    d_free = f"{machine.free_kilobytes(small)}kB"

    result = machine.run_setup(
        SETUP, f"get:{IDC_FREE_SPACE}",
        f"type:{IDC_DIRECTORY}:D:\\Apps\\Morvalen", f"get:{IDC_FREE_SPACE}",
        "tab", f"get:{IDC_FREE_SPACE}",
        f"type:{IDC_DIRECTORY}:C:\\Apps", f"focus:{IDC_BROWSE}", f"get:{IDC_FREE_SPACE}",
        f"type:{IDC_DIRECTORY}:d:\\lower", f"uncheck:{IDC_START_AFTER}", f"state:{IDC_START_AFTER}",
        f"get:{IDC_FREE_SPACE}",
        f"click:{IDCANCEL}", "exit")

    assert (c_free, d_free) == (f"{machine.free_kilobytes(machine.drive_c)}kB", "8192kB")
    figures = [value for ident, value in result.of("text") if int(ident) == IDC_FREE_SPACE]
    assert figures == [
        c_free,
        c_free,  # typing alone does not refresh it
        d_free,  # Tab does
        c_free,  # and so does any other move of the focus
        d_free,  # a click elsewhere too; the drive letter may be in lower case
    ]
    assert not result.checked(IDC_START_AFTER)
    assert result.exit_code == 0


@pytest.mark.parametrize("version", ["winxp", "win98"])
def test_free_figure_is_exact_above_4_gib(machine_factory, version):
    machine = machine_factory(version)
    large = machine.mount_tmpfs("E", "6g")

    result = machine.run_setup(SETUP, f"type:{IDC_DIRECTORY}:E:\\Morvalen", "tab",
                               f"get:{IDC_FREE_SPACE}", f"click:{IDCANCEL}", "exit")

    expected = machine.free_kilobytes(large)
    assert expected == 6 * 1024 * 1024
    assert result.text(IDC_FREE_SPACE) == f"{expected}kB"
    assert result.exit_code == 0
