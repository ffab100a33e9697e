"""End-to-end tests of the setup meeting faults and bad input under Wine: a full
disk, a read-only medium, a locked target, and directories at every length
limit of the texts the setup builds. An abort shows one box, ends with status
1 and leaves in place what was done before it; nothing may crash."""

import os

import pytest

from harness import PAYLOAD, readme_command, wait_until
from faults_support import (COMPLETED, Locker, copy_abort, deep_dir, digest, dotted_dir,
                            ini_record, install_steps, make_path_abort, mount_read_only,
                            programs_menu_folder, tree_state)
from shell_support import UNINSTALL_KEY, DdeProgram, reg_values


def payload(machine, names=PAYLOAD):
    return {name: digest((machine.payload_dir / name).read_bytes()) for name in names}


def contents(directory):
    return {entry.name: digest(entry.read_bytes()) for entry in directory.iterdir()}


def old_installation(directory):
    """An earlier installation whose files differ from the payload, in size too."""
    directory.mkdir(parents=True)
    for name in PAYLOAD:
        (directory / name).write_bytes(f"earlier {name}\r\n".encode())


# --- disk full -----------------------------------------------------------------

@pytest.mark.parametrize("failing", ["Morvalen.exe", "Readme.txt", "Uninstal.exe"])
def test_full_disk_aborts_at_the_file_that_does_not_fit(machine, failing):
    # 400 KiB never fit the 256 KiB disk; the payload files before it do.
    drive = machine.mount_tmpfs("D", "256k")
    (machine.payload_dir / failing).write_bytes(os.urandom(400 * 1024))
    copied = PAYLOAD[:PAYLOAD.index(failing)]

    result = machine.run_setup(*install_steps("D:\\Morvalen", start=True, readme=True), "box", "exit")

    assert result.boxes == [copy_abort(failing)]
    assert result.exit_code == 1
    # The files before it are whole; the cut-off copy is not left to look installed.
    assert contents(drive / "Morvalen") == payload(machine, copied)
    assert machine.ini_bytes() == ini_record("D:\\Morvalen")
    assert machine.launches() == []


def test_disk_without_room_for_the_directory_aborts_at_the_make_path(machine):
    # Room for the root and one directory only: the second cannot be made.
    drive = machine.mount_tmpfs("D", "256k,nr_inodes=2")

    result = machine.run_setup(*install_steps("D:\\Apps\\Morvalen"), "box", "exit")

    assert result.boxes == [make_path_abort("D:\\Apps\\Morvalen")]
    assert result.exit_code == 1
    assert tree_state(drive) == {"Apps": "dir"}
    assert machine.ini_bytes() == ini_record("D:\\Apps\\Morvalen")


# --- read-only medium -------------------------------------------------------------

@pytest.mark.parametrize("typed, box", [
    ("R:\\MORVALEN", copy_abort("Morvalen.exe")),   # over an earlier installation
    ("R:\\MORVALEN\\New", make_path_abort("R:\\MORVALEN\\New")),
])
def test_read_only_medium_is_left_as_it_was(machine, typed, box):
    medium = machine.prefix / "medium"
    old_installation(medium / "MORVALEN")
    mount_read_only(machine, "R", medium)
    before = tree_state(medium)

    result = machine.run_setup(*install_steps(typed, start=True, readme=True), "box", "exit")

    assert result.boxes == [box]
    assert result.exit_code == 1
    assert tree_state(medium) == before
    assert machine.ini_bytes() == ini_record(typed)
    assert machine.launches() == []


# --- locked target ------------------------------------------------------------------

@pytest.mark.parametrize("locked, share_delete", [
    ("Readme.txt", False),
    ("Uninstal.exe", False),
    ("Readme.txt", True),   # held the way some programs hold their files
], ids=["Readme.txt", "Uninstal.exe", "Readme.txt-sharing-delete"])
def test_locked_target_aborts_and_keeps_the_earlier_file(machine, locked, share_delete):
    installed = machine.path("C:\\MORVALEN")
    old_installation(installed)
    before = tree_state(installed)
    replaced = PAYLOAD[:PAYLOAD.index(locked)]

    with Locker(machine, f"C:\\MORVALEN\\{locked}", share_delete):
        result = machine.run_setup(*install_steps("C:\\MORVALEN", start=True, readme=True),
                                   "box", "exit")

    assert result.boxes == [copy_abort(locked)]
    assert result.exit_code == 1
    after = tree_state(installed)
    assert {name: after[name][1] for name in replaced} == payload(machine, replaced)
    # The locked file and those after it are untouched, also once the lock is gone.
    kept = [name for name in PAYLOAD if name not in replaced]
    assert {name: after.get(name) for name in kept} == {name: before[name] for name in kept}
    assert set(after) == set(PAYLOAD)
    assert machine.launches() == []


# --- directory lengths ------------------------------------------------------------

# Under Wine real directories of every length up to 511 can be made, entered and
# copied into (past MAX_PATH), so these runs get as far as the setup's own limits
# let them. Launches stay off: Wine's CreateProcess corrupts its heap when the
# current directory is longer than MAX_PATH; the launch limits have a test of
# their own below.

ALL_LINKS = {"Morvalen v2.0.LNK", "Uninstall Morvalen.LNK", "Read Me.LNK", "Order Form.LNK"}
GROUP_ITEMS = (("MORVALEN.EXE", "Morvalen 2.0"), ("README.TXT", "Read Me"),
               ("UNINSTAL.EXE", "Uninstall Morvalen"), ("ORDER.TXT", "Order Form"))


def made_directories(machine, directory):
    """The longest leading part of a C: directory that exists as directories."""
    made = "C:"
    for part in directory[3:].split("\\"):
        if not machine.path(made + "\\" + part).is_dir():
            break
        made += "\\" + part
    return made


# Each link target "<dir>\<FILE NAME>" must fit 259 characters, the copy and the
# uninstall string room for "\Uninstal.exe" (and the string for quotes around a
# blank) within 511.
@pytest.mark.parametrize("typed, blank, copied, uninstall, links", [
    (246, False, True, True, ALL_LINKS),
    (247, False, True, True, {"Read Me.LNK", "Order Form.LNK"}),
    (249, False, True, True, {"Order Form.LNK"}),
    (496, True, True, True, set()),
    (497, True, True, False, set()),
    (498, False, True, True, set()),
    (499, False, False, False, set()),
    (600, False, False, False, set()),   # the edit gives the setup the first 511
])
def test_long_directory_on_the_newer_shell(machine_factory, typed, blank, copied, uninstall, links):
    machine = machine_factory("win98")
    typed_dir = deep_dir(typed, blank)
    directory = typed_dir[:511]

    result = machine.run_setup(*install_steps(typed_dir), "box", "exit")

    assert machine.ini_bytes() == ini_record(directory)
    assert made_directories(machine, directory) == directory
    if not copied:
        assert (result.boxes, result.exit_code) == ([copy_abort("Morvalen.exe")], 1)
        assert contents(machine.path(directory)) == {}
        assert reg_values(machine, UNINSTALL_KEY) is None
        return
    assert (result.boxes, result.exit_code) == ([COMPLETED], 0)
    assert contents(machine.path(directory)) == payload(machine)
    entry = {"DisplayName": ("REG_SZ", "Morvalen 2.0")}
    if uninstall:
        command = f"{directory}\\UNINSTAL.EXE"
        entry["UninstallString"] = ("REG_SZ", f'"{command}"' if blank else command)
    assert reg_values(machine, UNINSTALL_KEY) == entry
    assert {link.name for link in programs_menu_folder(machine).iterdir()} == links


# Each AddItem command must fit 511 characters: the uninstaller's is the longest.
@pytest.mark.parametrize("typed, items", [
    (464, ("MORVALEN.EXE", "README.TXT", "UNINSTAL.EXE", "ORDER.TXT")),
    (465, ("MORVALEN.EXE", "README.TXT", "ORDER.TXT")),
    (471, ("README.TXT", "ORDER.TXT")),
    (476, ("README.TXT",)),
])
def test_long_directory_on_the_older_shell(machine, typed, items):
    progman = DdeProgram(machine, "serve", "progman.log")
    try:
        progman.wait_ready()
        directory = deep_dir(typed)

        result = machine.run_setup(*install_steps(directory), "box", "exit")

        expected = ['[CreateGroup("Morvalen")]', '[ShowGroup("Morvalen",1)]'] + [
            f'[AddItem("{directory}\\{name}","{title}")]' for name, title in GROUP_ITEMS if name in items]
        executed = lambda: [event[2] for event in progman.events() if event[0] == "execute"]
        wait_until(lambda: len(executed()) >= len(expected), 10)
    finally:
        progman.stop()
    assert (result.boxes, result.exit_code) == ([COMPLETED], 0)
    assert contents(machine.path(directory)) == payload(machine)
    assert executed() == [command + "\0" for command in expected]


@pytest.mark.parametrize("typed", [473, 474, 511])
def test_long_directory_that_cannot_be_made(machine, typed):
    # A file where the last directory should go: the walk fails there.
    typed_dir = deep_dir(typed)
    directory = typed_dir[:511]
    machine.path(directory.rpartition("\\")[0]).mkdir(parents=True)
    machine.path(directory).write_bytes(b"in the way\r\n")

    result = machine.run_setup(*install_steps(typed_dir), "box", "exit")

    # Whole up to 473 characters; longer ones are cut to end the text at 511.
    assert result.boxes == [make_path_abort(directory)]
    assert len(result.boxes[0][1]) == min(len(directory) + 38, 511)
    assert result.exit_code == 1
    assert machine.ini_bytes() == ini_record(directory)
    assert machine.path(directory).read_bytes() == b"in the way\r\n"


# The command lines quote the paths: "<dir>\Morvalen.exe" fits 511 characters
# up to 496, "C:\windows\system32\notepad.exe" "<dir>\readme.txt" up to 464.
# A dotted directory keeps the real path short, so Wine can start what the
# setup runs.
@pytest.mark.parametrize("length, launched", [
    (464, {"Morvalen.exe", "notepad.exe"}),
    (465, {"Morvalen.exe"}),
    (496, {"Morvalen.exe"}),
    (497, set()),
])
def test_launch_that_does_not_fit_is_not_run(machine, length, launched):
    real, directory = dotted_dir(length)

    result = machine.run_setup(*install_steps(directory, start=True, readme=True), "box", "exit")

    assert (result.boxes, result.exit_code) == ([COMPLETED], 0)
    assert contents(machine.path(real)) == payload(machine)
    commands = {"Morvalen.exe": f'"{directory}\\Morvalen.exe"',
                "notepad.exe": readme_command(machine.version, directory)}
    assert sorted((launch.program, launch.command_line, launch.directory)
                  for launch in machine.launches()) == sorted(
        (program, commands[program], real) for program in launched)
