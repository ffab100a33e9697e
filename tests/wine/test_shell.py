"""End-to-end tests of the shell registration under Wine: the uninstall entry
and the Programs-menu links of the newer shell (win98), the Program Manager
group over DDE of the older one (winxp). Links are read back from their bytes,
not with the shell that wrote them."""

import shutil

import pytest

from faults_support import deep_dir
from harness import PAYLOAD, WINE, WINE_CALL_TIMEOUT, platform_notepad, readme_command, run_bounded, wait_until
from shell_support import (SHELL_FOLDERS_KEY, UNINSTALL_KEY, DdeProgram, XDisplay, link_files, links_in,
                           menu_links, programs_folder, reg_run, reg_values, trace_calls, traced_calls)

SETUP = "dialog:Morvalen Setup"
IDOK = 1
IDC_DIRECTORY, IDC_ADD_TO_MENU, IDC_VIEW_README, IDC_START_AFTER = 1000, 1002, 1003, 1004
COMPLETED = ("Installation Succeded", "Installation Completed!")

NT_DEFAULT = "C:\\MORVALEN"
WIN98_DEFAULT = "C:\\Program Files\\Morvalen"

# Program Manager items in the order they are added: file, title.
GROUP_ITEMS = [("MORVALEN.EXE", "Morvalen 2.0"), ("README.TXT", "Read Me"),
               ("UNINSTAL.EXE", "Uninstall Morvalen"), ("ORDER.TXT", "Order Form")]


def install(machine, directory=None, add_to_menu=True):
    """Installs without the launches and checks that it ended as completed."""
    steps = [SETUP]
    if directory is not None:
        steps.append(f"type:{IDC_DIRECTORY}:{directory}")
    steps += [f"{'check' if add_to_menu else 'uncheck'}:{IDC_ADD_TO_MENU}", f"uncheck:{IDC_VIEW_README}",
              f"uncheck:{IDC_START_AFTER}", f"click:{IDOK}", "box", "exit"]
    result = machine.run_setup(*steps)
    assert (result.boxes, result.exit_code) == ([COMPLETED], 0), result.describe()
    return result


def uninstall_entry(uninstall_string):
    return {"DisplayName": ("REG_SZ", "Morvalen 2.0"), "UninstallString": ("REG_SZ", uninstall_string)}


@pytest.fixture
def start_dde():
    """Starts tests/ddeserver's program on a machine, ready; stops them all at the end."""
    started = []

    def start(machine, mode, log):
        program = DdeProgram(machine, mode, log)
        started.append(program)
        return program.wait_ready()

    yield start
    for program in started:
        program.stop()


@pytest.fixture
def x_machine(machine_factory):
    """A Windows XP machine on an X display of its own, where Wine's explorer
    serves PROGMAN. The display outlives the machine's processes."""
    display = XDisplay()
    try:
        machine = machine_factory("winxp")
        display.attach(machine)
        yield machine
        machine.stop()
    finally:
        display.stop()


# --- newer shell: uninstall entry and Programs-menu links ----------------------

@pytest.mark.parametrize("typed, directory, uninstall_string", [
    (None, WIN98_DEFAULT, f'"{WIN98_DEFAULT}\\UNINSTAL.EXE"'),  # a blank: quoted
    (NT_DEFAULT, NT_DEFAULT, f"{NT_DEFAULT}\\UNINSTAL.EXE"),
    # As typed, and joined with a separator also after the trailing one (the
    # link object tidies the doubled separator of its targets itself).
    ("c:\\Apps\\Morvalen\\", "c:\\Apps\\Morvalen", "c:\\Apps\\Morvalen\\\\UNINSTAL.EXE"),
], ids=["blank-quoted", "no-blank", "as-typed"])
def test_uninstall_entry_and_menu_links(machine_factory, typed, directory, uninstall_string):
    machine = machine_factory("win98")

    install(machine, typed)

    assert reg_values(machine, UNINSTALL_KEY) == uninstall_entry(uninstall_string)
    assert links_in(programs_folder(machine) / "Morvalen") == menu_links(directory)


def test_second_install_replaces_links_and_entry(machine_factory, start_dde):
    machine = machine_factory("win98")
    # The newer shell never talks to a Program Manager, even when one answers.
    progman = start_dde(machine, "serve", "progman.log")
    folder = programs_folder(machine) / "Morvalen"

    install(machine)
    assert links_in(folder) == menu_links(WIN98_DEFAULT)
    install(machine, "C:\\Apps\\Morvalen")

    assert links_in(folder) == menu_links("C:\\Apps\\Morvalen")
    assert reg_values(machine, UNINSTALL_KEY) == uninstall_entry("C:\\Apps\\Morvalen\\UNINSTAL.EXE")
    assert progman.events() == [("ready",)]


def test_add_to_menu_off_writes_the_entry_but_no_links(machine_factory):
    machine = machine_factory("win98")
    links_before = link_files(machine)

    install(machine, add_to_menu=False)

    assert reg_values(machine, UNINSTALL_KEY) == uninstall_entry(f'"{WIN98_DEFAULT}\\UNINSTAL.EXE"')
    assert not (programs_folder(machine) / "Morvalen").exists()
    assert not machine.path("C:\\Morvalen").exists()
    assert link_files(machine) == links_before


def test_without_programs_value_the_folder_is_made_at_the_install_drive_root(machine_factory):
    machine = machine_factory("win98")
    d_drive = machine.prefix / "d-drive"
    machine.map_drive("D", d_drive)
    reg_run(machine, "delete", SHELL_FOLDERS_KEY, "/v", "Programs", "/f")
    links_before = link_files(machine)

    install(machine, "D:\\Apps\\Morvalen")

    assert links_in(d_drive / "Morvalen") == menu_links("D:\\Apps\\Morvalen")
    assert link_files(machine) == links_before  # none on C:, where the setup was started
    assert reg_values(machine, UNINSTALL_KEY) == uninstall_entry("D:\\Apps\\Morvalen\\UNINSTAL.EXE")


# The link paths "<Programs>\Morvalen\<name>.LNK" must fit 259 characters.
@pytest.mark.parametrize("length, links", [
    # Just long enough for "Morvalen v2.0.LNK" to end at the 259th character:
    # the longer "Uninstall Morvalen.LNK" no longer fits.
    (259 - len("\\Morvalen\\Morvalen v2.0.LNK"), menu_links(WIN98_DEFAULT, leave_out=("Uninstall Morvalen.LNK",))),
    # Read whole, or refused when too long: either way no link fits, and the
    # product folder's own path is too long for the platform to make it.
    (259, None),
    (260, None),
], ids=["shorter-link-fits", "read-whole", "too-long"])
def test_link_whose_path_does_not_fit_is_skipped(machine_factory, length, links):
    machine = machine_factory("win98")
    programs = deep_dir(length)
    machine.path(programs).mkdir(parents=True)
    reg_run(machine, "add", SHELL_FOLDERS_KEY, "/v", "Programs", "/d", programs, "/f")

    install(machine)

    assert links_in(machine.path(programs) / "Morvalen") == links
    # Never at the root of the installation drive instead, as when the value is lost.
    assert not machine.path("C:\\Morvalen").exists()


# --- both shells -----------------------------------------------------------------

TRACED = ("SetErrorMode", "WinExec", "ChangeWindowMessageFilter", "DdeConnect", "DdeUninitialize")
DDE_REPLIES = ("000003e4", "000003e5", "000003e1")   # WM_DDE_ACK, WM_DDE_DATA, WM_DDE_TERMINATE


def setup_calls(result):
    """The setup's calls of TRACED functions in order, with the arguments that
    the checks need (their last eight digits): SetErrorMode's mode and
    ChangeWindowMessageFilter's two."""
    setup = int(result.of("started")[0][0])
    kept = {"SetErrorMode": 1, "ChangeWindowMessageFilter": 2}
    return [(name, *(argument[-8:] for argument in arguments[:kept.get(name, 0)]))
            for pid, name, arguments in traced_calls(result.stderr, TRACED) if pid == setup]


# The setup's folder may be one that others can write to, and the setup runs
# with administrator rights: a library or a Notepad put there must never run
# in place of the platform's.
@pytest.mark.parametrize("version", ["win98", "winxp"])
def test_nothing_planted_beside_the_setup_runs(machine_factory, wine_run, start_dde, version):
    machine = machine_factory(version)
    # Beside the Notepad that every machine has there, a library that the
    # platform loads by its bare name; with this override Wine looks for it
    # in the program's folder first, as Windows does for any library
    # outside its known ones.
    shutil.copy2(wine_run.standins / "uxtheme.dll", machine.payload_dir)
    machine.env["WINEDLLOVERRIDES"] += ";uxtheme=n,b"
    # What Wine cannot show by its effect, the order of the calls shows: the
    # launched programs inherit the error mode, and the Program Manager's
    # replies must pass the message filter for the whole conversation.
    trace_calls(machine, TRACED)
    progman = start_dde(machine, "serve", "progman.log")
    directory = WIN98_DEFAULT if version == "win98" else NT_DEFAULT

    result = machine.run_setup(SETUP, f"check:{IDC_START_AFTER}", f"check:{IDC_VIEW_README}",
                               f"click:{IDOK}", "box", "exit")

    assert (result.boxes, result.exit_code) == ([COMPLETED], 0), result.describe()
    calls = setup_calls(result)
    restored = calls.index(("SetErrorMode", "00000000"))
    assert calls.index(("SetErrorMode", "00008001")) < restored < calls.index(("WinExec",)), calls
    filtered = [call for call in calls if call[0] in ("ChangeWindowMessageFilter", "DdeConnect", "DdeUninitialize")]
    if version == "win98":
        assert filtered == []
    else:
        opened = [("ChangeWindowMessageFilter", message, "00000001") for message in DDE_REPLIES]
        closed = [("ChangeWindowMessageFilter", message, "00000002") for message in DDE_REPLIES]
        assert filtered == opened + [("DdeConnect",)] * (2 + len(GROUP_ITEMS)) + [("DdeUninitialize",)] + closed
    planted_log = machine.path("C:\\morvalen-planted.log")
    assert not planted_log.exists(), planted_log.read_text(errors="replace")
    launches = sorted(machine.launches(), key=lambda launch: launch.created)
    assert [(launch.module, launch.command_line) for launch in launches] == [
        (f"{directory}\\Morvalen.exe", f'"{directory}\\Morvalen.exe"'),
        (platform_notepad(version), readme_command(version, directory))]
    if version == "win98":
        assert links_in(programs_folder(machine) / "Morvalen") == menu_links(directory)
    else:
        wait_until(lambda: len(progman.events()) >= 1 + 4 * (2 + len(GROUP_ITEMS)), 10)
        executed = [event[2] for event in progman.events() if event[0] == "execute"]
        assert executed[-1] == f'[AddItem("{NT_DEFAULT}\\ORDER.TXT","Order Form")]\0', executed
        assert len(executed) == 2 + len(GROUP_ITEMS)


# Libraries the platform may load late by their bare names. Where the platform
# cannot keep the search to the system directory, the setup loads them from
# there in advance (Wine lacks some of them: they must simply stay unloaded).
LATE_LIBRARIES = ("uxtheme", "dwmapi", "userenv", "setupapi", "apphelp", "propsys", "cryptbase", "oleacc",
                  "clbcatq", "version")


# Wine always has the newer calls, so the setup's start-up of the library search
# runs in a probe that is handed only the calls each platform has. A version.dll
# lies beside it, a cryptbase.dll (which Wine lacks) in its current directory.
# Wine keeps searching the current directory after SetDllDirectoryA(""), which
# Windows takes out: that call is read from the trace, and no row loads a library
# that only the current directory has where the platform would search it.
PRELOADED = tuple(name for name in LATE_LIBRARIES if name != "cryptbase")


@pytest.mark.parametrize("mode, names, calls", [
    # Windows 8 and later: the system directory only.
    ("default", ("version", "cryptbase"), [("SetDefaultDllDirectories", "00000800")]),
    # XP SP1 to 7: preloaded, and the current directory taken out.
    ("dlldir", PRELOADED, [("SetDllDirectoryA", '""')]),
    ("none", PRELOADED, []),                     # NT 4, 2000: preloaded
    ("system", ("advpack", "version"), []),      # a system library's own imports come from beside it
])
def test_library_search_start_up_on_each_platform(machine_factory, wine_run, mode, names, calls):
    machine = machine_factory("winxp")
    shutil.copy2(wine_run.build / "tests" / "driver" / "search_probe.exe", machine.payload_dir)
    shutil.copy2(wine_run.standins / "version.dll", machine.payload_dir)
    media = machine.drive_c / "media"
    media.mkdir()
    shutil.copy2(wine_run.standins / "cryptbase.dll", media)
    machine.env["WINEDLLOVERRIDES"] += ";version,cryptbase=n,b"
    search_calls = ("SetDefaultDllDirectories", "SetDllDirectoryA")
    trace_calls(machine, search_calls)
    machine.start()

    _, out, err = run_bounded([WINE, r"C:\payload\search_probe.exe", mode, *names], machine.env,
                              WINE_CALL_TIMEOUT, cwd=media)

    system = machine.drive_c / "windows" / "system32"
    assert dict(line.split("\t") for line in out.decode().lower().splitlines()) == {
        name: f"c:\\windows\\system32\\{name}.dll" if (system / f"{name}.dll").exists() else "-"
        for name in names}
    planted_log = machine.path("C:\\morvalen-planted.log")
    assert not planted_log.exists(), planted_log.read_text(errors="replace")
    # The flags' last eight digits; the text after the pointer.
    made = traced_calls(err.decode(errors="replace"), search_calls)
    assert [(name, argument[-8:] if name == search_calls[0] else argument.partition(" ")[2])
            for _, name, (argument,) in made] == calls


# --- older shell: Program Manager group ---------------------------------------

def test_progman_commands_each_in_its_own_conversation(machine, start_dde):
    progman = start_dde(machine, "serve", "progman.log")
    links_before = link_files(machine)

    install(machine, add_to_menu=False)
    assert progman.events() == [("ready",)]
    install(machine)

    commands = ['[CreateGroup("Morvalen")]', '[ShowGroup("Morvalen",1)]'] + [
        f'[AddItem("{NT_DEFAULT}\\{name}","{title}")]' for name, title in GROUP_ITEMS]
    expected = [("ready",)]
    for number, command in enumerate(commands, 1):
        expected += [("connect", "PROGMAN", "PROGMAN"), ("confirm", str(number)),
                     ("execute", str(number), command + "\0"), ("disconnect", str(number))]
    wait_until(lambda: len(progman.events()) >= len(expected), 10)
    assert progman.events() == expected
    assert reg_values(machine, UNINSTALL_KEY) is None
    assert link_files(machine) == links_before


def test_wine_program_manager_builds_the_group(x_machine, start_dde):
    machine = x_machine
    # Waits until explorer's desktop answers PROGMAN, and keeps it up.
    start_dde(machine, "probe", "probe.log")
    group = programs_folder(machine) / "Morvalen"

    install(machine, add_to_menu=False)
    assert not group.exists()
    install(machine)

    assert {name: target for name, (target, _) in (links_in(group) or {}).items()} == {
        f"{title}.lnk": f"{NT_DEFAULT}\\{name}" for name, title in GROUP_ITEMS}
    assert reg_values(machine, UNINSTALL_KEY) is None


def test_without_program_manager_the_installation_completes(machine):
    links_before = link_files(machine)

    install(machine)

    assert all(machine.path(f"{NT_DEFAULT}\\{name}").is_file() for name in PAYLOAD)
    assert link_files(machine) == links_before
    assert not (programs_folder(machine) / "Morvalen").exists()
    assert reg_values(machine, UNINSTALL_KEY) is None
