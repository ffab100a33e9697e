"""End-to-end tests of the uninstaller under Wine: installed by the setup
with every option on, removed as users start it (the Programs-menu link,
Wine's own program list, the file itself, /S), and the machine compared with
a snapshot taken before the installation. The copy that waits for the
restart is the one thing left, until `wineboot -r` carries it out."""

import re
import shutil

import pytest

from faults_support import Locker, install_steps
from harness import PAYLOAD, WINE, WINE_CALL_TIMEOUT, run_bounded, snapshot_changes, wait_until
from shell_support import (UNINSTALL_KEY, link_info, links_in, menu_links, programs_folder, reg_values,
                           trace_calls, traced_calls)
from test_shell import GROUP_ITEMS, start_dde, x_machine  # noqa: F401 (fixtures)

CAPTION = "Uninstall Morvalen"
IDYES, IDNO = 6, 7
COMPLETED = ("Installation Succeded", "Installation Completed!")

NT_DEFAULT = "C:\\MORVALEN"
WIN98_DEFAULT = "C:\\Program Files\\Morvalen"
DEFAULTS = {"win98": WIN98_DEFAULT, "winxp": NT_DEFAULT}
JAPANESE = "ja_JP.UTF-8"

# Message box styles: the buttons and the icon.
MB_OK, MB_YESNO = 0x00, 0x04
MB_ICONERROR, MB_ICONQUESTION, MB_ICONINFORMATION = 0x10, 0x20, 0x40
MESSAGE_BOXES = ("MessageBoxA", "MessageBoxW", "MessageBoxExA", "MessageBoxExW")


def question(folder):
    return (CAPTION, f"Remove Morvalen 2.0 from {folder}?")


def removed(kept_folder=None):
    text = "Morvalen 2.0 was removed from your computer."
    if kept_folder:
        text += f"\nThe folder {kept_folder} was kept: it holds files that Morvalen did not install."
    return (CAPTION, text)


def not_removed(name):
    return (CAPTION, f'Can\'t remove "{name}". Close Morvalen and run the uninstaller again.')


def setup_beside(folder):
    return (CAPTION, f"Nothing was removed: {folder} holds the Morvalen setup, not an installation.")


# What a user answers: Yes to the question, OK to the box at the end.
ANSWER_YES = (f"box:{IDYES}", "box", "exit")


def install(machine, directory=None):
    """Installs with every option on (menu, readme, application) and checks that it completed."""
    result = machine.run_setup(*install_steps(directory, start=True, readme=True, menu=True), "box", "exit")
    assert (result.boxes, result.exit_code) == ([COMPLETED], 0), result.describe()


def uninstall(machine, folder, *steps, arguments=None):
    """Starts the installation's Uninstal.exe by its path and works it."""
    return machine.run_program(f"{folder}\\Uninstal.exe", *steps, arguments=arguments)


def box_styles(result):
    """(buttons, icon) of each message box the machine's programs asked for, in order."""
    styles = []
    for _, name, arguments in traced_calls(result.stderr, MESSAGE_BOXES):
        # The style is the last argument; the Ex forms add a language after it.
        style = int(arguments[-2 if name.startswith("MessageBoxEx") else -1].strip()[-8:], 16)
        styles.append((style & 0x0F, style & 0xF0))
    return styles


def temp_folder(machine):
    """The temporary folder that the machine's programs are given."""
    machine.start()
    _, out, _ = run_bounded([WINE, "cmd", "/c", "echo", "%TEMP%"], machine.env, WINE_CALL_TIMEOUT,
                            cwd=machine.drive_c)
    return out.decode(machine.ansi).strip()


# What changes between two snapshots with nothing installed between them:
# Wine registers the host's fonts when a program first asks for them; and
# the tests' own programs and logs (C:\\harness, the stand-ins' launch log).
NOISE = re.compile(r"^[-+~] (HKCU\\Software\\Wine\\Fonts\\External Fonts"
                   r"|HKLM\\Software\\Microsoft\\Windows( NT)?\\CurrentVersion\\Fonts"
                   r"|C:\\harness\\|C:\\morvalen-launch\.log$)")


def changes_left(before, after):
    return [change for change in snapshot_changes(before, after)
            if not NOISE.match(change)]


def pending_copy(version, temp):
    """Patterns of the changes that the copy waiting for the restart makes."""
    temp = re.escape(temp)
    if version == "win98":
        # The Windows 95 family: directly in the temporary folder, named in wininit.ini.
        return [re.compile(rf"^\+ {temp}\\[^\\]+$"), re.compile(r"^[+~] C:\\windows\\wininit\.ini$")]
    # NT: in a private folder, and both named for the restart, the file first.
    return [re.compile(rf"^\+ {temp}\\~mv[^\\]*\.tmp$"), re.compile(rf"^\+ {temp}\\~mv[^\\]*\.tmp\\Uninstal\.exe$"),
            re.compile(r'^\+ HKLM\\System\\(ControlSet001|CurrentControlSet)\\Control\\Session Manager\t'
                       r'"PendingFileRenameOperations"=', re.I)]


def assert_only_pending_copy(changes, version, temp):
    patterns = pending_copy(version, temp)
    assert len(changes) == len(patterns) and all(
        any(pattern.match(change) for change in changes) for pattern in patterns), changes


def restart(machine):
    machine.start()
    run_bounded([WINE, "wineboot", "-r"], machine.env, WINE_CALL_TIMEOUT, cwd=machine.drive_c)


def start_as_users_do(machine, how, folder):
    """Runs the uninstaller of the installation in the folder the way a user would."""
    if how == "link":
        # The Programs-menu link: what it names, in the folder it names.
        link = programs_folder(machine) / "Morvalen" / "Uninstall Morvalen.LNK"
        target, _ = link_info(link)
        assert target.lower() == f"{folder}\\UNINSTAL.EXE".lower(), target
        return machine.run_program(target, *ANSWER_YES)
    if how == "list":
        # Wine's own list of programs runs the entry's command and waits for it.
        return machine.run_program(r"C:\windows\system32\uninstaller.exe", *ANSWER_YES,
                                   arguments="--remove Morvalen", family=True)
    if how == "silent":
        return uninstall(machine, folder, "exit", arguments="/S")
    return uninstall(machine, folder, *ANSWER_YES)


# "volume": installed on another drive than the temporary folder, where the
# running file cannot move: a copy there finishes once the uninstaller ends.
@pytest.mark.parametrize("version, how", [
    ("win98", "link"), ("win98", "list"), ("winxp", "file"), ("winxp", "silent"),
    ("win98", "volume"), ("winxp", "volume")])
def test_removal_leaves_the_machine_as_before(machine_factory, start_dde, version, how):
    machine = machine_factory(version)
    other_drive = machine.mount_tmpfs("D", "8m") if how == "volume" else None
    trace_calls(machine, MESSAGE_BOXES)
    folder = "D:\\Morvalen" if other_drive else DEFAULTS[version]
    temp = temp_folder(machine)
    before = machine.snapshot()
    progman = start_dde(machine, "serve", "progman.log")
    install(machine, folder if other_drive else None)

    result = start_as_users_do(machine, how, folder)
    if other_drive:
        # The system lets go of the ended program's file a moment later.
        assert wait_until(lambda: not (other_drive / "Morvalen").exists(), 10), list(other_drive.rglob("*"))

    if how == "silent":
        assert (result.boxes, box_styles(result)) == ([], []), result.describe()
    else:
        assert result.boxes == [question(folder), removed()], result.describe()
        assert box_styles(result) == [(MB_YESNO, MB_ICONQUESTION), (MB_OK, MB_ICONINFORMATION)]
    if how != "list":  # Wine's program list has a status of its own
        assert result.exit_code == 0, result.describe()
    executed = [event[2] for event in progman.events() if event[0] == "execute"]
    group = ['[CreateGroup("Morvalen")]\0', '[ShowGroup("Morvalen",1)]\0'] + [
        f'[AddItem("{folder}\\{name}","{title}")]\0' for name, title in GROUP_ITEMS]
    # The older shell: the group goes as the administrator's (Wine's user is one).
    assert executed == ([] if version == "win98" else group + ['[DeleteGroup("Morvalen",1)]\0'])
    progman.stop()
    after = machine.snapshot()
    assert_only_pending_copy(changes_left(before, after), version, temp)
    if version == "win98":
        wininit = machine.path("C:\\windows\\wininit.ini").read_bytes().decode("latin-1")
        assert re.search(r"^\[rename\]\r\nNUL=C:\\[^\r]+\r\n", wininit, re.M), wininit

    restart(machine)

    # Having carried out wininit.ini, the restart keeps it as wininit.bak, as
    # the Windows 95 family's WININIT does.
    assert changes_left(before, machine.snapshot()) == (
        ["+ C:\\windows\\wininit.bak"] if version == "win98" else [])


def test_group_of_wine_program_manager_is_removed(x_machine, start_dde):
    machine = x_machine
    # Waits until explorer's desktop answers PROGMAN, and keeps it up.
    start_dde(machine, "probe", "probe.log")
    group = programs_folder(machine) / "Morvalen"
    install(machine)
    assert group.is_dir()

    result = uninstall(machine, NT_DEFAULT, "exit", arguments="/S")

    assert (result.boxes, result.exit_code) == ([], 0), result.describe()
    assert not group.exists()
    assert not machine.path(NT_DEFAULT).exists()


# A Yes/No box has no working close box, on Windows as under Wine: No is the
# one way to decline.
def test_no_and_the_release_layout_change_nothing(machine_factory):
    machine = machine_factory("win98")
    trace_calls(machine, MESSAGE_BOXES)
    install(machine)
    before = machine.snapshot()

    answered_no = uninstall(machine, WIN98_DEFAULT, f"box:{IDNO}", "exit")
    # Where the setup lies beside it, as on the release media.
    beside_setup = uninstall(machine, "C:\\payload", "box", "exit")

    assert (answered_no.boxes, answered_no.exit_code) == ([question(WIN98_DEFAULT)], 2), answered_no.describe()
    assert (beside_setup.boxes, beside_setup.exit_code) == ([setup_beside("C:\\payload")], 1), \
        beside_setup.describe()
    assert box_styles(beside_setup) == [(MB_OK, MB_ICONERROR)]
    assert changes_left(before, machine.snapshot()) == []


# One installation's folder holds a file of the user's; it is also where a
# library is planted, as in the temporary folder and its parent: the
# uninstaller runs with administrator rights and must load none of them.
@pytest.mark.parametrize("version", ["win98", "winxp"])
def test_locked_application_keeps_every_record_then_the_users_files_stay(
        machine_factory, wine_run, start_dde, version):
    machine = machine_factory(version)
    trace_calls(machine, MESSAGE_BOXES)
    folder = DEFAULTS[version]
    temp = temp_folder(machine)
    progman = start_dde(machine, "serve", "progman.log")
    install(machine)
    installed = machine.path(folder)
    (installed / "Notes.txt").write_bytes(b"mine\r\n")
    planted = [installed, machine.path(temp), machine.path(temp).parent]
    for where in planted:
        shutil.copy2(wine_run.standins / "uxtheme.dll", where)
    machine.env["WINEDLLOVERRIDES"] += ";uxtheme=n,b"
    ini = machine.ini_bytes()
    entry = reg_values(machine, UNINSTALL_KEY)
    links = links_in(programs_folder(machine) / "Morvalen")
    group_commands = len(progman.events())

    with Locker(machine, f"{folder}\\Morvalen.exe"):
        locked = uninstall(machine, folder, *ANSWER_YES)

        assert (locked.boxes, locked.exit_code) == ([question(folder), not_removed("Morvalen.exe")], 1), \
            locked.describe()
        assert box_styles(locked)[1:] == [(MB_OK, MB_ICONERROR)]
        assert (installed / "Morvalen.exe").is_file() and (installed / "Uninstal.exe").is_file()
        assert (machine.ini_bytes(), reg_values(machine, UNINSTALL_KEY)) == (ini, entry)
        assert links_in(programs_folder(machine) / "Morvalen") == links
        assert len(progman.events()) == group_commands

    second = uninstall(machine, folder, *ANSWER_YES)

    assert (second.boxes, second.exit_code) == ([question(folder), removed(folder)], 0), second.describe()
    assert sorted(entry.name for entry in installed.iterdir()) == ["Notes.txt", "uxtheme.dll"]
    assert (installed / "Notes.txt").read_bytes() == b"mine\r\n"
    assert (machine.ini_bytes(), reg_values(machine, UNINSTALL_KEY)) == (None, None)
    assert not (programs_folder(machine) / "Morvalen").exists()
    executed = [event[2] for event in progman.events() if event[0] == "execute"]
    assert executed[-1:] == ([] if version == "win98" else ['[DeleteGroup("Morvalen",1)]\0'])
    planted_log = machine.path("C:\\morvalen-planted.log")
    assert not planted_log.exists(), planted_log.read_text(errors="replace")


@pytest.mark.parametrize("version", ["win98", "winxp"])
def test_removing_the_older_installation_keeps_the_newer(machine_factory, start_dde, version):
    machine = machine_factory(version)
    progman = start_dde(machine, "serve", "progman.log")
    install(machine, "C:\\Older")
    install(machine)
    newer = machine.path(DEFAULTS[version])
    files = {name: (newer / name).read_bytes() for name in PAYLOAD}
    ini = machine.ini_bytes()
    entry = reg_values(machine, UNINSTALL_KEY)
    links = links_in(programs_folder(machine) / "Morvalen")
    events = progman.events()

    result = uninstall(machine, "C:\\Older", "exit", arguments="/S")

    assert (result.boxes, result.exit_code) == ([], 0), result.describe()
    assert not machine.path("C:\\Older").exists()
    assert {name: (newer / name).read_bytes() for name in PAYLOAD} == files
    assert (machine.ini_bytes(), reg_values(machine, UNINSTALL_KEY)) == (ini, entry)
    # The group and the links are the newer installation's: no DeleteGroup.
    assert links_in(programs_folder(machine) / "Morvalen") == links
    assert progman.events() == events


def test_installation_with_double_byte_names_is_removed_whole(machine_factory):
    # 表 is 95 5C and ソ is 83 5C in code page 932: neither trail byte is a separator.
    machine = machine_factory("win98", lang=JAPANESE)
    folder = "C:\\ソフト\\表"
    install(machine, folder)
    assert links_in(programs_folder(machine) / "Morvalen", "cp932") == menu_links(folder)

    result = uninstall(machine, folder, *ANSWER_YES)

    assert (result.boxes, result.exit_code) == ([question(folder), removed()], 0), result.describe()
    assert not (machine.drive_c / "ソフト" / "表").exists()
    assert (machine.ini_bytes(), reg_values(machine, UNINSTALL_KEY)) == (None, None)
    assert not (programs_folder(machine) / "Morvalen").exists()
