"""What the shell-registration tests need beyond the harness: registry values
as `reg query` shows them, link files read from their bytes, Wine programs
kept running beside the setup (tests/ddeserver's Program Manager stand-in and
probe), and an X display for Wine's own Program Manager."""

import os
import re
import select
import shutil
import subprocess
from pathlib import Path

import harness
from harness import (WINE, WINE_CALL_TIMEOUT, HarnessError, Program, add_user_value, run_bounded, unescape,
                     wait_until)

UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Morvalen"
SHELL_FOLDERS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"

READY_TIMEOUT = 60
# How long tests/ddeserver's program runs unless stopped: longer than any test
# that starts it may take (its wait for readiness and the driver's bound
# included), so that a slow setup on a loaded machine still finds it; the
# test stops it, and the bound only ends one that a killed run left behind.
DDE_LIFETIME = 15 * 60
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


def trace_calls(machine, functions):
    """Has Wine log every call of these functions by the machine's programs
    (+relay, limited to them), each line with its process id."""
    add_user_value(machine.prefix, "Software\\Wine\\Debug", "RelayInclude", ";".join(functions))
    machine.env["WINEDEBUG"] = "-all,+pid,+relay"


def traced_calls(trace, functions):
    """(process id, function, [argument texts]) of each logged call of these
    functions, in order."""
    return [(int(pid, 16), name, arguments.split(","))
            for pid, name, arguments in re.findall(r"^([0-9a-f]+):[0-9a-f]+:Call [\w.]*?\b(\w+)\(([^)]*)\)",
                                                   trace, re.M)
            if name in functions]


# Link file layout (the shell's documented binary format): flags of the header.
HAS_TARGET_ID_LIST, HAS_LINK_INFO, IS_UNICODE = 0x01, 0x02, 0x80
# The optional texts that follow in this order, each flagged in the header.
STRING_DATA = ((0x04, "name"), (0x08, "relative path"), (0x10, "working directory"),
               (0x20, "arguments"), (0x40, "icon location"))
HEADER_SIZE = 0x4C
LOCAL_BASE_PATH = 0x01  # LinkInfo flag: a volume and a local path are there


def read_link(data, code_page="cp1252"):
    """The fields of a link file, read from its bytes: "local path" (the
    LinkInfo's local base path and common suffix) and the StringData texts by
    name; ANSI texts in the given code page. Independent of the writer."""
    def u32(offset):
        return int.from_bytes(data[offset:offset + 4], "little")

    def c_string(offset, unicode):
        if unicode:
            end = offset
            while end < len(data) and data[end:end + 2] != b"\0\0":
                end += 2
            return data[offset:end].decode("utf-16-le")
        return data[offset:data.index(b"\0", offset)].decode(code_page)

    assert u32(0) == HEADER_SIZE, "not a link file"
    flags = u32(20)
    fields = {}
    at = HEADER_SIZE
    if flags & HAS_TARGET_ID_LIST:
        at += 2 + int.from_bytes(data[at:at + 2], "little")
    if flags & HAS_LINK_INFO:
        size, header_size, info_flags = u32(at), u32(at + 4), u32(at + 8)
        if info_flags & LOCAL_BASE_PATH:
            # Unicode copies of both texts follow when the header is long enough to name them.
            unicode = header_size >= 0x24
            base, suffix = (u32(at + 28), u32(at + 32)) if unicode else (u32(at + 16), u32(at + 24))
            fields["local path"] = (c_string(at + base, unicode)
                                    + (c_string(at + suffix, unicode) if suffix else ""))
        at += size
    unicode = bool(flags & IS_UNICODE)
    for flag, name in STRING_DATA:
        if flags & flag:
            count = int.from_bytes(data[at:at + 2], "little")
            length = count * 2 if unicode else count
            text = data[at + 2:at + 2 + length].decode("utf-16-le" if unicode else code_page)
            # Some writers count a closing null too (Wine 8 does); a reader stops at it.
            fields[name] = text.partition("\0")[0]
            at += 2 + length
    assert at <= len(data), "link file cut short"
    return fields


def link_info(path, code_page="cp1252"):
    """The target path and the description of a link file."""
    fields = read_link(Path(path).read_bytes(), code_page)
    return fields.get("local path"), fields.get("name")


def links_in(folder, code_page="cp1252"):
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

    def __init__(self, machine, mode, log):
        program = machine.run.build / "tests" / "ddeserver" / "ddeserver.exe"
        if not program.is_file():
            raise HarnessError(f"build first; missing: {program}")
        shutil.copy2(program, machine.drive_c / "harness")
        machine.start()
        self.log = machine.drive_c / "harness" / log
        self.process = Program([WINE, r"C:\harness\ddeserver.exe", mode, f"C:\\harness\\{log}",
                                str(DDE_LIFETIME * harness.SLOWDOWN)], machine.env, machine.drive_c)

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
        # On the interactive station, where Wine's desktop shell serves PROGMAN.
        del machine.env["TEST_WINDOW_STATION"]
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
