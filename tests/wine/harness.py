"""Wine machines for the setup's end-to-end tests.

A pristine prefix is made once per test run; each test gets a fresh copy of
it (its own "machine") with its own persistent wineserver, a Windows version,
optional extra drives, and the payload staged in C:\\payload beside setup.exe.
The setup is worked by tests/driver's driver.exe, whose tab-separated output
is parsed here.

The Wine programs run on this machine (the x86_64 build), or with
MORVALEN_ARCH=i686 in the emulated i386 machine of guest.py (the shipped
32-bit build); everything else, and every check, happens here either way.
"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

import release
from guest import FIGURES, GUEST_PROGRAMS, Guest

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"

# The window station on which the driver and the DDE stand-in run the
# programs: the one of Wine's services, where Wine starts no desktop shell, so
# that no Program Manager answers there but a test's own. Wine 10 serves
# PROGMAN from the shell that it starts on every other station, even with the
# null display driver; Wine 8 cannot with that driver, on any station.
TEST_WINDOW_STATION = "__wineservice_winstation"

PAYLOAD = ("Morvalen.exe", "Readme.txt", "Order.txt", "Uninstal.exe")
LAUNCH_LOG = "morvalen-launch.log"  # in C:\, written by the launch recorders
STANDINS = ("Morvalen.exe", "notepad.exe", "Program.exe")  # the launch recorder's names

# Wine takes its ANSI code page from the locale; what its programs write as
# ANSI text is read back in that code page. Other locales: code page 1252,
# read as Latin-1 so that any byte reads.
ANSI_CODE_PAGES = {"ja_JP.UTF-8": "cp932"}

# Bounds for everything that is waited for.
WINE_CALL_TIMEOUT = 120   # wineboot of a new prefix can take a while on a busy machine
SERVER_TIMEOUT = 30
SERVER_PERSISTENCE = 60
DRIVER_STEP_TIMEOUT_MS = 10000
DRIVER_TIMEOUT = 90

# The largest parts of a prefix, which nothing here writes into, are linked
# rather than copied: a machine is ready in a fraction of a second.
SHARED_PARTS = ("drive_c/windows/system32", "drive_c/windows/winsxs")

# Where the Wine programs run: None here, or the emulated machine, whose
# emulated processor is many times slower; every time limit grows with it.
guest = None
SLOWDOWN = 1


def use_guest(machine):
    global guest, SLOWDOWN
    guest = machine
    SLOWDOWN = 1 if machine is None else 8


def in_guest(args):
    return guest is not None and str(args[0]) in GUEST_PROGRAMS


ROOT_KEYS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT",
             "HKU": "HKEY_USERS", "HKCC": "HKEY_CURRENT_CONFIG"}


class HarnessError(Exception):
    pass


def run_bounded(args, env, timeout, cwd=None, check=True):
    """Runs a command with a time limit; its whole process group goes on timeout.

    Output goes to unnamed files rather than pipes: a wineserver or a Wine
    service started on the way inherits them and would hold a pipe open.
    Wine programs run in the guest when there is one.
    """
    timeout *= SLOWDOWN
    if in_guest(args):
        return _checked(args, check, *_run_in_guest(args, env, timeout, cwd))
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err, start_new_session=True)
        try:
            process.wait(timeout=timeout)
            timed_out = False
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            timed_out = True
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read(), err.read()
    if timed_out:
        raise HarnessError(f"timed out after {timeout}s: {args}\n{stdout.decode(errors='replace')}"
                           f"\n{stderr.decode(errors='replace')}")
    return _checked(args, check, process.returncode, stdout, stderr)


def _run_in_guest(args, env, timeout, cwd):
    try:
        return guest.run(args, env, timeout, cwd)
    except Exception as error:
        raise HarnessError(f"{args} in the guest: {error}") from error


def _checked(args, check, status, stdout, stderr):
    if check and status != 0:
        raise HarnessError(f"exit status {status}: {args}\n"
                           f"{stdout.decode(errors='replace')}\n{stderr.decode(errors='replace')}")
    return status, stdout, stderr


class Program:
    """A Wine program left running beside the setup, here or in the guest,
    with what it prints kept in a file."""

    def __init__(self, args, env, cwd):
        self._guest = guest if in_guest(args) else None
        if self._guest:
            self._process = self._guest.start(args, env, cwd)
            return
        self._output = tempfile.TemporaryFile()
        self._process = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                         stdout=self._output, stderr=subprocess.DEVNULL,
                                         start_new_session=True)

    def poll(self):
        return self._process.poll()

    def printed(self):
        if self._guest:
            return self._process.output()[0]
        self._output.seek(0)
        return self._output.read()

    def stop(self):
        """Ends the program and all it started, and waits for that."""
        if self._guest:
            self._process.kill()
            return
        if self._process.poll() is None:
            os.killpg(self._process.pid, signal.SIGKILL)
        self._process.wait(timeout=30)
        self._output.close()


def wine_env(prefix, home):
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(("WINE", "DISPLAY", "WAYLAND"))}
    # notepad.exe=n: Wine would run its builtin Notepad in place of any file
    # of that name in the system directory, the machines' recorder among them.
    env.update(WINEPREFIX=str(prefix), WINEARCH="win64", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;notepad.exe=n",
               HOME=str(home), WINESERVER=WINESERVER, TEST_WINDOW_STATION=TEST_WINDOW_STATION)
    return env


def stop_server(env):
    """Ends every process of the prefix and waits for its server to be gone.

    Plain -k: with -k9 the server dies at once but leaves its services
    (winedevice.exe and the like) running, spinning, without it.
    """
    run_bounded([WINESERVER, "-k"], env, SERVER_TIMEOUT, check=False)
    run_bounded([WINESERVER, "-w"], env, SERVER_TIMEOUT, check=False)


def copy_prefix(source, target, skip=()):
    """cp -a of a prefix, with the read-only DLL stores hard-linked."""
    target.mkdir(parents=True)
    shared = {source / part for part in SHARED_PARTS}
    skipped = {source / part for part in skip}

    def copy_tree(src, dst):
        for entry in sorted(src.iterdir()):
            if entry in skipped:
                continue
            if entry in shared:
                subprocess.run(["cp", "-al", str(entry), str(dst / entry.name)], check=True, timeout=60)
            elif entry.is_dir() and not entry.is_symlink() and any(p.is_relative_to(entry) for p in shared):
                (dst / entry.name).mkdir()
                shutil.copystat(entry, dst / entry.name)
                copy_tree(entry, dst / entry.name)
            else:
                subprocess.run(["cp", "-a", str(entry), str(dst / entry.name)], check=True, timeout=60)

    copy_tree(source, target)


def mounts_under(directory):
    directory = str(directory)
    found = []
    with open("/proc/mounts") as mounts:
        for line in mounts:
            point = line.split()[1].replace("\\040", " ")
            if point == directory or point.startswith(directory + "/"):
                found.append(point)
    return found[::-1]  # the latest first: a mount may sit on top of another


def unmount(point):
    if subprocess.run(["umount", point], capture_output=True, timeout=30).returncode != 0:
        subprocess.run(["umount", "-l", point], capture_output=True, timeout=30)


def unescape(field):
    """Undoes the driver's escaping of backslash and control characters."""
    return re.sub(r"\\(\\|t|r|n|x[0-9a-fA-F]{2})",
                  lambda m: {"\\": "\\", "t": "\t", "r": "\r", "n": "\n"}.get(m.group(1))
                  or chr(int(m.group(1)[1:], 16)), field)


class DriverResult:
    """What the driver printed: a list of events, each a tuple of strings."""

    def __init__(self, status, out, err, steps):
        self.status = status
        self.raw = out.decode("utf-8", errors="replace")
        self.stderr = err.decode("utf-8", errors="replace")
        self.steps = steps
        self.events = [tuple(unescape(field) for field in line.split("\t"))
                       for line in self.raw.splitlines() if line]

    def of(self, kind):
        return [event[1:] for event in self.events if event[0] == kind]

    @property
    def boxes(self):
        """(caption, text) of each message box, in the order they were shown."""
        return [(caption, text) for caption, text, _ in self.of("box")]

    @property
    def box_times(self):
        """When OK was pressed in each box (FILETIME numbers, like Launch.created)."""
        return [int(pressed) for _, _, pressed in self.of("box")]

    @property
    def exit_code(self):
        codes = self.of("exit")
        assert len(codes) == 1, f"expected one exit line:\n{self.describe()}"
        return int(codes[0][0])

    def text(self, control_id, occurrence=-1):
        """The text read by a get: step (the last one for that control unless told)."""
        values = [value for (ident, value) in self.of("text") if int(ident) == control_id]
        assert values, f"no text read for control {control_id}:\n{self.describe()}"
        return values[occurrence]

    def checked(self, control_id):
        values = [int(v) for (ident, v) in self.of("check") if int(ident) == control_id]
        assert values, f"no state read for control {control_id}:\n{self.describe()}"
        return values[-1] == 1

    def items(self, control_id):
        rows = [row[1:] for row in self.of("items") if int(row[0]) == control_id]
        assert rows, f"no items read for control {control_id}:\n{self.describe()}"
        return list(rows[-1])

    def describe(self):
        return (f"steps: {self.steps}\ndriver status {self.status}\n--- output\n{self.raw}"
                f"--- stderr\n{self.stderr}")


def platform_notepad(version):
    """Where the setup finds the platform's Notepad: the Windows directory on
    the Windows 95 family, the system directory on NT."""
    return "C:\\windows\\notepad.exe" if version in ("win95", "win98") else "C:\\windows\\system32\\notepad.exe"


def readme_command(version, directory):
    return f'"{platform_notepad(version)}" "{directory}\\readme.txt"'


class Launch:
    """One line of the launch log: which program ran (its file name, and the
    full path of the file that ran), how and when."""

    def __init__(self, line):
        self.module, self.command_line, self.directory, created = line.split("\t")
        self.program = self.module.rpartition("\\")[2]
        self.created = int(created)

    def __repr__(self):
        return (f"Launch({self.module!r}, {self.command_line!r}, {self.directory!r}, "
                f"{self.created})")


class Machine:
    """One test's copy of the template prefix and the server that runs it."""

    def __init__(self, run, name, version, quiet_c=False, lang=None):
        self.run = run
        self.name = name
        self.version = version
        self.prefix = run.root / "machines" / name
        self.env = wine_env(self.prefix, run.home)
        if lang is not None:
            self.env.update(LANG=lang, LC_ALL=lang)
            if guest is not None:
                self.env["LOCPATH"] = str(guest_locales(lang))
        self.ansi = ANSI_CODE_PAGES.get(lang, "latin-1")
        self.mounts = []
        self.started = False
        template = run.template(version)
        self.drive_c = self.prefix / "drive_c"
        if quiet_c:
            copy_prefix(template, self.prefix, skip=("drive_c",))
            self._mount_quiet_c(template / "drive_c")
        else:
            copy_prefix(template, self.prefix)
        self.payload_dir = self.drive_c / "payload"
        self.payload_dir.mkdir()
        shutil.copy2(run.build / "setup.exe", self.payload_dir)
        # The payload, with the launch recorder in the sample application's
        # place: the tests see how the setup started it.
        for name in PAYLOAD:
            source = run.standins if name in STANDINS else run.build / "payload"
            shutil.copy2(source / name, self.payload_dir)
        # The recorder stands in for the platform's Notepad in both of its
        # places, and one more lies beside the setup, where WinExec would look
        # first for a bare "notepad": that one must never be started.
        for folder in (self.drive_c / "windows", self.drive_c / "windows" / "system32", self.payload_dir):
            (folder / "notepad.exe").unlink(missing_ok=True)  # never write through the template's link
            shutil.copy2(run.standins / "notepad.exe", folder)
        (self.drive_c / "harness").mkdir()
        shutil.copy2(run.driver, self.drive_c / "harness" / "driver.exe")

    # -- drives, before the server starts --------------------------------

    def map_drive(self, letter, directory):
        assert not self.started, "drives are read when the server starts"
        Path(directory).mkdir(parents=True, exist_ok=True)
        (self.prefix / "dosdevices" / f"{letter.lower()}:").symlink_to(directory)

    def map_share(self, unc, directory):
        """A network share \\\\server\\share, which Wine finds through a link named in lower case."""
        assert not self.started, "links are read when the server starts"
        server, share = unc.lstrip("\\").lower().split("\\")
        Path(directory).mkdir(parents=True, exist_ok=True)
        (self.prefix / "dosdevices" / "unc" / server).mkdir(parents=True, exist_ok=True)
        (self.prefix / "dosdevices" / "unc" / server / share).symlink_to(directory)

    def mount_tmpfs(self, where, size):
        """A fresh tmpfs of the given size (mount's syntax, e.g. 8m or 6g) as a
        drive (a letter) or a network share (\\\\server\\share)."""
        point = self.run.root / "mnt" / f"{self.name}-{re.sub(r'[^a-z0-9]+', '-', where.lower())}"
        point.mkdir(parents=True)
        self._mount(["-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(point)], point)
        if where.startswith("\\"):
            self.map_share(where, point)
        else:
            self.map_drive(where, point)
        return point

    def _mount_quiet_c(self, lower):
        """C: as an overlay of the template's drive_c with the changes kept on a
        6 GiB tmpfs: its free space is exact and moves only when the test writes."""
        upper = self.run.root / "mnt" / f"{self.name}-c"
        upper.mkdir(parents=True)
        self._mount(["-t", "tmpfs", "-o", "size=6g", "tmpfs", str(upper)], upper)
        (upper / "upper").mkdir()
        (upper / "work").mkdir()
        self.drive_c.mkdir()
        self._mount(["-t", "overlay", "-o", f"lowerdir={lower},upperdir={upper / 'upper'},"
                     f"workdir={upper / 'work'}", "overlay", str(self.drive_c)], self.drive_c)

    def _mount(self, arguments, point):
        result = subprocess.run(["mount", *arguments], capture_output=True, text=True, timeout=30)
        if result.returncode != 0:
            raise HarnessError(f"mount {' '.join(arguments)}: {result.stderr}")
        self.mounts.append(str(point))

    def plant(self, windows_path, source):
        shutil.copy2(source, self.path(windows_path))

    # -- paths -------------------------------------------------------------

    def path(self, windows_path):
        """The Linux path of a C: path (the only drive the prefix itself holds)."""
        assert re.match(r"^[cC]:\\", windows_path), windows_path
        parts = [part for part in windows_path[3:].split("\\") if part]
        return self.drive_c.joinpath(*parts)

    def free_kilobytes(self, linux_path):
        """The free space that the machine's programs are told about."""
        if guest is not None:
            # Through the share, counted in the larger blocks that it reports.
            _, out, _ = guest.shell('stat -f -c "%a %S" -- "$1"', str(linux_path))
            blocks, size = out.split()
            return (int(blocks) * int(size)) >> 10
        stat = os.statvfs(linux_path)
        return (stat.f_bavail * stat.f_frsize) >> 10

    # -- running -----------------------------------------------------------

    def start(self):
        if not self.started:
            # Persistent while the test runs; should the run be killed before its
            # teardown, the server and its services still end a minute after the last program.
            run_bounded([WINESERVER, f"-p{SERVER_PERSISTENCE}"], self.env, SERVER_TIMEOUT)
            self.started = True

    def run_setup(self, *steps, allow_failure=False, step_timeout_ms=DRIVER_STEP_TIMEOUT_MS):
        """Starts C:\\payload\\setup.exe in C:\\payload and works it with the driver."""
        return self.run_program(r"C:\payload\setup.exe", *steps, cwd=r"C:\payload", allow_failure=allow_failure,
                                step_timeout_ms=step_timeout_ms)

    def run_program(self, program, *steps, arguments=None, cwd=None, family=False, allow_failure=False,
                    step_timeout_ms=DRIVER_STEP_TIMEOUT_MS):
        """Starts a program (a Windows path) and works it with the driver: with
        arguments after its quoted path, in a current directory (the driver's,
        C:\\, unless told), and with family, also the dialogs of the programs it starts."""
        self.start()
        args = [WINE, r"C:\harness\driver.exe", "--timeout", str(step_timeout_ms * SLOWDOWN)]
        if cwd is not None:
            args += ["--cwd", cwd]
        if arguments is not None:
            args += ["--args", arguments]
        if family:
            args.append("--family")
        args += [program, *steps]
        status, out, err = run_bounded(args, self.env, DRIVER_TIMEOUT, cwd=self.drive_c, check=False)
        result = DriverResult(status, out, err, steps)
        if status != 0 and not allow_failure:
            raise AssertionError("the driver could not do its script\n" + result.describe())
        return result

    def processes(self):
        """Command lines of the live Wine processes (and server) of this prefix."""
        if guest is not None:
            return self._guest_processes()
        found = []
        marker = b"WINEPREFIX=" + str(self.prefix).encode() + b"\0"
        for proc in Path("/proc").iterdir():
            if not proc.name.isdigit():
                continue
            try:
                # Helpers such as an X server may carry the variable too: only Wine's own count.
                if not os.readlink(proc / "exe").startswith(os.path.dirname(WINE) + "/"):
                    continue
                if marker not in (proc / "environ").read_bytes() + b"\0":
                    continue
                found.append((proc / "cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace"))
            except OSError:
                continue  # gone meanwhile, or not ours to read
        return found

    def _guest_processes(self):
        marker = f"WINEPREFIX={self.prefix}"
        _, out, _ = guest.shell(
            "for p in /proc/[0-9]*; do grep -qzxF -- \"$1\" $p/environ 2>/dev/null"
            " && tr '\\0' ' ' < $p/cmdline && echo; done; true", marker, timeout=60 * SLOWDOWN)
        return [line for line in out.decode(errors="replace").splitlines() if line.strip()]

    def reg_query(self, key, value):
        """A registry value's data as `reg query` prints it, or None when it is missing."""
        self.start()
        status, out, _ = run_bounded([WINE, "reg", "query", key, "/v", value], self.env,
                                     WINE_CALL_TIMEOUT, cwd=self.drive_c, check=False)
        if status != 0:
            return None
        for line in out.decode(self.ansi, errors="replace").splitlines():
            match = re.match(r"^\s+(.+?)\s{4}(REG_\w+)\s{4}(.*)$", line)
            if match and match.group(1).lower() == value.lower():
                return match.group(3)
        return None

    def reg_subkeys(self, key):
        """Names of a key's subkeys; the key must exist."""
        self.start()
        _, out, _ = run_bounded([WINE, "reg", "query", key], self.env, WINE_CALL_TIMEOUT,
                                cwd=self.drive_c)
        root, _, rest = key.rstrip("\\").partition("\\")
        full = ROOT_KEYS.get(root.upper(), root.upper()) + "\\" + rest
        # reg lists each subkey by its full name, with the root written out.
        return [line[len(full) + 1:] for line in out.decode(errors="replace").splitlines()
                if line.lower().startswith(full.lower() + "\\")]

    def attributes(self, pattern):
        """Name -> the attribute letters Wine's attrib shows for the entries of a pattern."""
        self.start()
        _, out, _ = run_bounded([WINE, "cmd", "/c", "attrib", "/d", pattern], self.env,
                                WINE_CALL_TIMEOUT, cwd=self.drive_c)
        found = {}
        for line in out.decode(errors="replace").splitlines():
            flags, _, path = line.partition(pattern[:3])
            if path:
                found[path.rsplit("\\", 1)[-1]] = flags.replace(" ", "")
        return found

    def add_attributes(self, windows_path, letters):
        """Gives a file attributes through the platform (letters as attrib's, e.g. "HS"),
        one attrib call each: Wine's attrib applies only the last of several."""
        self.start()
        for letter in letters:
            run_bounded([WINE, "cmd", "/c", "attrib", f"+{letter.lower()}", windows_path], self.env,
                        WINE_CALL_TIMEOUT, cwd=self.drive_c)

    def ini_bytes(self):
        """morvalen.ini in the Windows directory, or None."""
        path = self.drive_c / "windows" / "morvalen.ini"
        return path.read_bytes() if path.exists() else None

    def launches(self):
        path = self.drive_c / LAUNCH_LOG
        if not path.exists():
            return []
        text = path.read_bytes().decode(self.ansi)
        assert text.endswith("\r\n") or not text, f"torn launch log: {text!r}"
        return [Launch(line) for line in text.split("\r\n") if line]

    def flush(self):
        """Ends every process of the machine, so that its server writes the
        registry out; the next Wine call starts a new server."""
        stop_server(self.env)
        if not wait_until(lambda: not self.processes(), SERVER_TIMEOUT):
            raise HarnessError(f"processes left in {self.prefix}: {self.processes()}")
        self.started = False

    def snapshot(self):
        """What the machine holds, for comparing: every path on C: (a file by
        its size and modification time) and every registry value of HKLM and
        HKCU, as the registry files say once the server has written them."""
        self.flush()
        state = {}
        for current, dirs, files in os.walk(self.drive_c):
            relative = Path(current).relative_to(self.drive_c)
            for name in dirs:
                state[f"C:\\{relative / name}"] = "folder"
            for name in files:
                info = os.lstat(Path(current) / name)
                state[f"C:\\{relative / name}"] = (info.st_size, info.st_mtime_ns)
        for root, hive in (("HKLM", "system.reg"), ("HKCU", "user.reg")):
            for key, values in read_registry_file(self.prefix / hive).items():
                state[f"{root}\\{key}"] = "key"
                for value in values:
                    state[f"{root}\\{key}\t{value}"] = "value"
        return {path.replace("/", "\\"): what for path, what in state.items()}

    def stop(self):
        try:
            stop_server(self.env)
            # The killed processes may take a moment to release the drives.
            if not wait_until(lambda: not self.processes(), SERVER_TIMEOUT):
                raise HarnessError(f"processes left in {self.prefix}: {self.processes()}")
        finally:
            self.started = False
            for point in reversed(self.mounts):
                unmount(point)
            self.mounts = []


class Run:
    """State of one test run: its directory under build/wine and its templates."""

    def __init__(self, build):
        self.build = build
        self.driver = build / "tests" / "driver" / "driver.exe"
        self.standins = build / "tests" / "driver" / "standins"
        self.root = build.parent / "wine" / f"run-{os.getpid()}"
        self.home = self.root / "home"
        self._templates = {}
        self._signed_setup = None

    def check_artefacts(self):
        needed = ([self.build / "setup.exe", self.driver] + [self.standins / n for n in STANDINS]
                  + [self.build / "payload" / n for n in PAYLOAD])
        missing = [str(path) for path in needed if not path.is_file()]
        if missing:
            raise HarnessError("build first; missing: " + ", ".join(missing))

    def begin(self):
        clean_stale_runs(self.root.parent)
        if self.root.exists():
            self.finish()
        self.home.mkdir(parents=True)
        if os.environ.get("MORVALEN_ARCH") == "i686":
            machine = Guest()
            machine.boot()
            use_guest(machine)

    def signed_setup(self):
        """The setup as the release ZIP carries it, signed there with a
        throwaway certificate: made once per run, by the build's own release step."""
        if self._signed_setup is None:
            try:
                self._signed_setup = release.signed_setup(self.build, self.root / "release")
            except (RuntimeError, OSError, subprocess.SubprocessError) as error:
                raise HarnessError(f"no signed setup: {error}") from error
        return self._signed_setup

    def template(self, version):
        if version not in self._templates:
            base = self._base_template()
            if version is None:
                return base
            target = self.root / f"template-{version}"
            copy_prefix(base, target)
            add_user_value(target, r"Software\Wine", "Version", version)
            self._templates[version] = target
        return self._templates[version]

    def _base_template(self):
        if None not in self._templates:
            if guest is None:
                base = self.root / "template"
                make_base_prefix(base, self.home)
            else:
                base = guest_prefix()
            self._templates[None] = base
        return self._templates[None]

    def finish(self, keep_machines=False):
        if guest is not None:
            # Powering the guest off ends every program of every prefix.
            guest.shutdown()
            use_guest(None)
        else:
            for prefix in self._prefixes():
                stop_server(wine_env(prefix, self.home))
        for point in mounts_under(self.root):
            unmount(point)
        if keep_machines and any((self.root / "machines").glob("*")):
            return
        if not mounts_under(self.root):
            shutil.rmtree(self.root, ignore_errors=True)

    def _prefixes(self):
        candidates = list(self.root.glob("template*")) + list(self.root.glob("machines/*"))
        return [path for path in candidates if (path / "dosdevices").is_dir()]


def make_base_prefix(prefix, home, made_in=None):
    """A new prefix; in the guest it is made on the guest's own disk, several
    times faster than through the share, and then copied over."""
    env = wine_env(made_in or prefix, home)
    try:
        run_bounded([WINE, "wineboot", "-i"], env, WINE_CALL_TIMEOUT, cwd=(made_in or prefix).parent)
    finally:
        stop_server(env)
    if made_in:
        guest.shell('mkdir -p -- "$2" && cp -a -- "$1/." "$2"', str(made_in), str(prefix),
                    timeout=WINE_CALL_TIMEOUT * SLOWDOWN)
    # No X server: dialogs and message boxes work with the null driver.
    add_user_value(prefix, r"Software\Wine\Drivers", "Graphics", "null")
    # Without z: the drive list is C: and whatever a test maps.
    (prefix / "dosdevices" / "z:").unlink(missing_ok=True)


def guest_prefix():
    """The guest's template prefix. Making one takes minutes there, so it is
    kept beside the image it was made by and made again only for a new one."""
    base = guest.work / "prefix"
    stamp = (guest.work / "stamp").read_text()
    made = base / ".made-for"
    if not (made.is_file() and made.read_text() == stamp):
        shutil.rmtree(base, ignore_errors=True)
        started = time.monotonic()
        guest.shell("mkdir -p /local/home")
        make_base_prefix(base, Path("/local/home"), made_in=Path("/local/prefix"))
        made.write_text(stamp)
        FIGURES["new prefix"] = time.monotonic() - started
    return base


def guest_locales(lang):
    """A folder for the guest's LOCPATH that holds the locale: its root has no
    locale sources, so the locale is compiled here. Compiled locales depend
    only on the C library's version, the same Debian release on both sides,
    and on the byte order; the guest is asked to load it, to be sure."""
    folder = guest.work / "locales"
    if lang in _guest_locales_loaded:
        return folder
    name, _, charset = lang.partition(".")
    if not (folder / lang / "LC_CTYPE").is_file():
        (folder / lang).mkdir(parents=True, exist_ok=True)
        run_bounded(["localedef", "--no-archive", "-c", "-i", name, "-f", charset, str(folder / lang)],
                    os.environ, WINE_CALL_TIMEOUT)
    status, out, err = guest.shell('LOCPATH="$1" LC_ALL="$2" locale charmap', str(folder), lang)
    if status != 0 or err or out.decode().strip() != charset:
        raise HarnessError(f"the guest cannot load {lang} from {folder}: {out!r} {err!r}")
    _guest_locales_loaded.add(lang)
    return folder


_guest_locales_loaded = set()


def read_registry_file(path):
    """{key: set of its value lines} of one of Wine's registry files, with
    the keys' names unescaped and what Wine writes of its own (the write
    times) left out; a value continued over several lines is one."""
    keys = {}
    values = None
    pending = ""
    for line in path.read_text(encoding="latin-1").splitlines():
        if pending:
            line, pending = pending + line.strip(), ""
        header = re.match(r"^\[(.*)\](?: \d+)?$", line)
        if header:
            values = keys.setdefault(header.group(1).replace("\\\\", "\\"), set())
        elif values is not None and line and not line.startswith("#"):
            if line.endswith("\\") and not line.endswith('"'):
                pending = line[:-1]
            else:
                values.add(line)
    return keys


def snapshot_changes(before, after):
    """What differs between two snapshots: "+ path", "- path" and "~ path"
    (a file of other size or time), sorted."""
    changed = [f"- {path}" for path in before if path not in after]
    changed += [f"+ {path}" for path in after if path not in before]
    changed += [f"~ {path}" for path in before if path in after and before[path] != after[path]]
    return sorted(changed)


def add_user_value(prefix, key, name, text):
    """Sets a text value in the prefix's user.reg, with no Wine process
    running: a section read later for the same key adds to it."""
    escaped = key.replace("\\", "\\\\")
    with open(prefix / "user.reg", "a", encoding="latin-1", newline="\n") as registry:
        registry.write(f'\n[{escaped}] {int(time.time())}\n"{name}"="{text}"\n')


def clean_stale_runs(wine_dir):
    """Removes what killed runs left behind: their servers, mounts and prefixes."""
    if not wine_dir.is_dir():
        return
    for stale in wine_dir.glob("run-*"):
        pid = stale.name[4:]
        if pid.isdigit() and Path(f"/proc/{pid}").exists():
            continue  # another run in progress
        run = Run.__new__(Run)
        run.root = stale
        run.home = stale / "home"
        run.finish()


def wait_until(condition, timeout, interval=0.05):
    end = time.monotonic() + timeout * SLOWDOWN
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(interval)
    return condition()


if __name__ == "__main__":
    # Makes the guest's template prefix ahead of the tests (the test command
    # does it while the builds compile); nothing to do when it is up to date.
    use_guest(Guest())
    try:
        guest.boot()
        guest_prefix()
    finally:
        guest.shutdown()
    print("guest: " + ", ".join(f"{step} {seconds:.1f} s" for step, seconds in FIGURES.items()))
