"""What the shell-registration tests need beyond the harness: registry values
as `reg query` shows them, link files read by Debian's lnkinfo, Wine programs
kept running beside the setup (tests/ddeserver's Program Manager stand-in and
probe), and an X display for Wine's own Program Manager."""

import os
import re
import select
import shutil
import subprocess
from pathlib import Path

from harness import WINE, WINE_CALL_TIMEOUT, HarnessError, Program, run_bounded, unescape, wait_until

UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Morvalen"
SHELL_FOLDERS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"

READY_TIMEOUT = 60
XVFB_TIMEOUT = 30


def reg_values(machine, key):
    """{name: (type, data)} of a key's values as `reg query` prints them, or
    None when the key does not exist."""
    machine.start()
    status, out, _ = run_bounded([WINE, "reg", "query", key], machine.env, WINE_CALL_TIMEOUT,
                                 cwd=machine.drive_c, check=False)
    if status != 0:
        return None
    values = {}
    # reg prints in the console's code page: under code page 932 that is 932 too.
    for line in out.decode(machine.ansi, errors="replace").splitlines():
        match = re.match(r"^ {4}(.+?) {4}(REG_\w+)(?: {4}(.*))?$", line)
        if match:
            values[match.group(1)] = (match.group(2), match.group(3) or "")
    return values


def reg_run(machine, *args):
    machine.start()
    run_bounded([WINE, "reg", *args], machine.env, WINE_CALL_TIMEOUT, cwd=machine.drive_c)


def programs_folder(machine):
    """The Linux path of the Programs folder that the prefix's registry names."""
    folder = reg_values(machine, SHELL_FOLDERS_KEY)["Programs"][1]
    return machine.path(folder)


def link_info(path, code_page="windows-1252"):
    """The target path and the description of a link file, as lnkinfo reads them
    (the link's ANSI texts in the given code page)."""
    result = subprocess.run(["lnkinfo", "-c", code_page, str(path)], capture_output=True, timeout=30)
    fields = {}
    for line in result.stdout.decode("utf-8", errors="replace").splitlines():
        match = re.match(r"^\s*(Local path|Description)\s*: (.*)$", line)
        if match:
            fields.setdefault(match.group(1), match.group(2))
    assert result.returncode == 0 and fields, f"lnkinfo {path}: {result.stderr!r}"
    return fields.get("Local path"), fields.get("Description")


def links_in(folder, code_page="windows-1252"):
    """{file name: (target, description)} of every file in a folder, or None
    when the folder does not exist."""
    if not folder.is_dir():
        return None
    return {entry.name: link_info(entry, code_page) for entry in folder.iterdir()}


# Link file name -> the installed file it points at, as the newer shell's menu shows them.
MENU_LINKS = {"Morvalen v2.0.LNK": "MORVALEN.EXE", "Uninstall Morvalen.LNK": "UNINSTAL.EXE",
              "Read Me.LNK": "README.TXT", "Order Form.LNK": "ORDER.TXT"}


def menu_links(directory, leave_out=()):
    """What links_in should find in the menu's Morvalen folder for an installation directory."""
    return {link: (f"{directory}\\{target}", f"Shortcut to {target}")
            for link, target in MENU_LINKS.items() if link not in leave_out}


def link_files(machine):
    """Every link file on C:, as paths relative to it (the DLL stores left out)."""
    found = set()
    for current, dirs, files in os.walk(machine.drive_c):
        relative = Path(current).relative_to(machine.drive_c)
        if relative == Path("windows"):
            dirs[:] = [d for d in dirs if d.lower() not in ("system32", "syswow64", "winsxs")]
        found.update(str(relative / name) for name in files if name.lower().endswith(".lnk"))
    return found


class DdeProgram:
    """tests/ddeserver's program running beside the setup, in "serve" mode (our
    Program Manager stand-in) or "probe" mode (waits until a Program Manager
    answers and keeps the desktop alive), with its log in C:\\harness."""

    def __init__(self, machine, mode, log, seconds=60):
        program = machine.run.build / "tests" / "ddeserver" / "ddeserver.exe"
        if not program.is_file():
            raise HarnessError(f"build first; missing: {program}")
        shutil.copy2(program, machine.drive_c / "harness")
        machine.start()
        self.log = machine.drive_c / "harness" / log
        self.process = Program([WINE, r"C:\harness\ddeserver.exe", mode, f"C:\\harness\\{log}",
                                str(seconds)], machine.env, machine.drive_c)

    def events(self):
        if not self.log.exists():
            return []
        text = self.log.read_bytes().decode("latin-1")
        return [tuple(unescape(field) for field in line.split("\t")) for line in text.split("\n") if line]

    def wait_ready(self, timeout=READY_TIMEOUT):
        def settled():
            kinds = {event[0] for event in self.events()}
            return bool(kinds & {"ready", "error", "timeout"}) or self.process.poll() is not None
        wait_until(settled, timeout, interval=0.1)
        if ("ready",) not in self.events():
            raise HarnessError(f"{self.log.name} never became ready: {self.events()}")
        return self

    def stop(self):
        self.process.stop()


class XDisplay:
    """An Xvfb server on the first free display."""

    def __init__(self):
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, start_new_session=True)
        finally:
            os.close(write_end)
        try:
            number = b""
            # Xvfb writes the number and a line end once it accepts clients.
            while not number.endswith(b"\n") and select.select([read_end], [], [], XVFB_TIMEOUT)[0]:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        finally:
            os.close(read_end)
        if not number.strip().isdigit():
            self.stop()
            raise HarnessError("Xvfb did not start")
        self.name = ":" + number.decode().strip()

    def attach(self, machine):
        """Gives the machine Wine's X11 driver on this display (before it runs anything)."""
        assert not machine.started, "the display must be known before the first Wine process"
        machine.env["DISPLAY"] = self.name
        settings = machine.drive_c / "harness" / "x11.reg"
        # Unmanaged windows: without a window manager, managed ones make every step slow.
        settings.write_text('REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n'
                            '"Graphics"="x11"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n'
                            '"Managed"="N"\r\n')
        reg_run(machine, "import", r"C:\harness\x11.reg")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=XVFB_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=XVFB_TIMEOUT)
