"""Helpers of test_faults.py: faulty media behind drive letters, a program
that holds a file open, and directories of exact lengths."""

import hashlib
import os
import subprocess
from pathlib import Path

from harness import WINE, HarnessError, Program, run_bounded, wait_until

SETUP = "dialog:Morvalen Setup"
IDOK = 1
IDC_DIRECTORY, IDC_ADD_TO_MENU, IDC_VIEW_README, IDC_START_AFTER = 1000, 1002, 1003, 1004

COMPLETED = ("Installation Succeded", "Installation Completed!")
ABORTED = "Installation Aborted"

MESSAGE_LIMIT = 511   # characters of any text the setup formats
LOCK_TIMEOUT = 60


def install_steps(directory=None, start=False, readme=False, menu=True):
    steps = [SETUP]
    if directory is not None:
        steps.append(f"type:{IDC_DIRECTORY}:{directory}")
    for control, on in ((IDC_ADD_TO_MENU, menu), (IDC_START_AFTER, start), (IDC_VIEW_README, readme)):
        steps.append(f"{'check' if on else 'uncheck'}:{control}")
    steps.append(f"click:{IDOK}")
    return steps


def copy_abort(name):
    return (ABORTED, f'Unable to install:  Can\'t copy file "{name}"')


def make_path_abort(directory):
    """The box for a directory that cannot be made; a text too long to show
    whole keeps as much of the directory as fits and ends in ..." instead."""
    text = f'Unable to install:  Can\'t make path "{directory}"'
    if len(text) > MESSAGE_LIMIT:
        text = text[:MESSAGE_LIMIT - 4] + '..."'
    return (ABORTED, text)


def ini_record(directory):
    return b"[install]\r\nInstallPath=" + directory.encode("latin-1") + b"\r\n"


# --- directories of exact lengths ------------------------------------------------

def deep_dir(length, blank=False):
    """A directory on C: whose text has `length` characters, made of real
    components of at most 200 characters (Linux allows 255 bytes a name)."""
    path = "C:"
    letter = ord("a")
    while len(path) < length:
        room = length - len(path) - 1
        size = min(200, room)
        if room - size == 1:   # would leave a separator with no name after it
            size -= 1
        name = chr(letter) * size
        if blank and path == "C:":
            name = name[:2] + " " + name[3:]
        path += "\\" + name
        letter += 1
    assert len(path) == length and "\\\\" not in path, path
    return path


def dotted_dir(length):
    """A text of `length` characters naming the short directory C:\\Dotted (or
    C:\\Dotted2): it is followed by "\\." components, which the walk enters
    without going anywhere. Lets the stages after the copy meet long texts
    while Wine works with a short real path."""
    base = "C:\\Dotted" if length % 2 == 1 else "C:\\Dotted2"
    text = base + "\\." * ((length - len(base)) // 2)
    assert len(text) == length, text
    return base, text


# --- media and files ----------------------------------------------------------------

def digest(data):
    """Size and hash of file contents: a mismatch reads better than the bytes."""
    return len(data), hashlib.sha256(data).hexdigest()[:16]


def tree_state(root):
    """Every directory and file under root, files with size, time and digest."""
    state = {}
    for current, dirs, files in os.walk(root):
        for name in dirs:
            state[os.path.relpath(os.path.join(current, name), root)] = "dir"
        for name in files:
            path = os.path.join(current, name)
            stat = os.lstat(path)
            state[os.path.relpath(path, root)] = (stat.st_mtime_ns, digest(Path(path).read_bytes()))
    return state


def mount_read_only(machine, letter, source):
    """source, bound read-only behind the drive letter (file modes do not stop
    root). The machine unmounts it when it stops, whatever the test did."""
    point = machine.run.root / "mnt" / f"{machine.name}-{letter.lower()}-ro"
    point.mkdir(parents=True)
    for arguments in (["--bind", str(source), str(point)], ["-o", "remount,bind,ro", str(point)]):
        result = subprocess.run(["mount", *arguments], capture_output=True, text=True, timeout=30)
        if result.returncode != 0:
            raise HarnessError(f"mount {' '.join(arguments)}: {result.stderr}")
        if str(point) not in machine.mounts:
            machine.mounts.append(str(point))
    machine.map_drive(letter, point)
    return point


def programs_menu_folder(machine):
    """The Linux path of the product's folder in the user's Programs menu (where
    Wine keeps it; looked up without starting a Wine process)."""
    found = list(machine.drive_c.glob("users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"))
    assert len(found) == 1, found
    return found[0] / "Morvalen"


class Locker:
    """Holds a file of the machine open, as a running program would, for the
    length of a `with` block (tests/faults' locker.exe)."""

    def __init__(self, machine, windows_path, share_delete=False):
        self.machine = machine
        self.args = [WINE, r"C:\harness\locker.exe", windows_path] + (["delete"] if share_delete else [])
        self.process = None

    def __enter__(self):
        program = self.machine.run.build / "tests" / "faults" / "locker.exe"
        if not program.is_file():
            raise HarnessError(f"build first; missing: {program}")
        self.machine.drive_c.joinpath("harness", "locker.exe").write_bytes(program.read_bytes())
        self.machine.start()
        self.process = Program(self.args, self.machine.env, self.machine.drive_c)
        wait_until(lambda: b"locked" in self.process.printed() or self.process.poll() is not None,
                   LOCK_TIMEOUT)
        printed = self.process.printed()
        if b"locked" not in printed:
            self.__exit__(None, None, None)
            raise HarnessError(f"the locker did not take the file: {printed!r}")
        return self

    def __exit__(self, *exc):
        if self.process:
            self.process.stop()
        # The handle goes with the process; the server must have let go of the
        # file before a test looks at what is left of it.
        run_bounded([WINE, "cmd", "/c", "exit"], self.machine.env, 60, cwd=self.machine.drive_c,
                    check=False)
        return False
