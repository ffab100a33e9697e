"""The emulated i386 machine that runs the shipped 32-bit build.

qemu-system-i386 boots Debian's i386 kernel with 32-bit Wine (the image that
tests/guest/build-image.sh makes) and mounts this repository at the same path
as here. The test machines' prefixes, drives and files are thus the same files
on both sides: the tests prepare and judge them on this side, and only the
Wine programs run in the guest, started by tests/guest/agent.sh on commands
sent over the guest's second serial port.
"""

import itertools
import os
import shlex
import shutil
import socket
import subprocess
import tempfile
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
WORK = REPO / "build" / "guest"

# The host's 64-bit Wine programs and their 32-bit counterparts in the guest.
GUEST_PROGRAMS = {"/usr/lib/wine/wine64": "/usr/lib/wine/wine",
                  "/usr/lib/wine/wineserver64": "/usr/lib/wine/wineserver32"}
PASSED_ON = ("HOME", "DISPLAY", "XAUTHORITY", "TEST_WINDOW_STATION")
# A locale is passed on only with the LOCPATH that holds it (a machine's own
# locale, compiled for the guest); the host's locale stays here.
LOCALE_KEYS = ("LANG", "LC_ALL", "LOCPATH")

BOOT_TIMEOUT = 300

# Seconds taken by the guest's own steps in this run, printed after the tests.
FIGURES = {}


class GuestError(Exception):
    pass


class GuestTimeout(GuestError):
    pass


class GuestProcess:
    """A command running in the guest, seen from here."""

    def __init__(self, guest, script):
        self.guest = guest
        self.script = script
        self.returncode = None

    def poll(self):
        if self.returncode is None:
            self.returncode = self.guest._status(self.script)
        return self.returncode

    def wait(self, timeout=None):
        end = None if timeout is None else time.monotonic() + timeout
        with self.guest._changed:
            while self.poll() is None:
                left = None if end is None else end - time.monotonic()
                if left is not None and left <= 0:
                    raise GuestTimeout(f"still running after {timeout}s: {self.script}")
                if not self.guest._changed.wait(left if left is None else min(left, 5)):
                    self.guest._check_alive()
        return self.returncode

    def kill(self):
        """Ends the command and everything it started, and waits for that."""
        if self.poll() is None:
            self.guest._send(f"kill {self.script}")
            self.wait(60)

    def output(self):
        return (Path(self.script + ".out").read_bytes(), Path(self.script + ".err").read_bytes())


class Guest:
    """One boot of the emulated machine, shared by every test of a run."""

    def __init__(self, work=WORK):
        self.work = Path(work)
        self.process = None
        self._sock = None
        self._done = {}
        self._changed = threading.Condition()
        self._ready = None
        self._numbers = itertools.count(1)
        self.commands = self.work / f"commands-{os.getpid()}"
        self.socket_dir = None
        self.boot_seconds = None

    # -- lifecycle ---------------------------------------------------------

    def boot(self):
        for name in ("vmlinuz", "initrd.gz", "disk.ext4"):
            if not (self.work / name).is_file():
                raise GuestError(f"no guest image in {self.work}: run tests/guest/build-image.sh")
        shutil.rmtree(self.commands, ignore_errors=True)
        self.commands.mkdir(parents=True)
        self.socket_dir = Path(tempfile.mkdtemp(prefix="morvalen-guest-"))
        agent = self.socket_dir / "agent"
        self.console = self.work / f"console-{os.getpid()}.log"
        started = time.monotonic()
        args = [
            "qemu-system-i386", "-accel", "tcg",
            # -cpu max makes every Wine process oops this kernel (SMAP under TCG).
            "-cpu", "core2duo,-lm,-syscall", "-smp", "1", "-m", "2G",
            "-display", "none", "-monitor", "none", "-no-reboot", "-nic", "none",
            "-kernel", str(self.work / "vmlinuz"), "-initrd", str(self.work / "initrd.gz"),
            # snapshot: the image is never written, so it needs no copy per boot.
            "-drive", f"file={self.work / 'disk.ext4'},if=virtio,format=raw,snapshot=on",
            "-virtfs", f"local,path={REPO},mount_tag=share,security_model=none,multidevs=remap",
            "-serial", f"file:{self.console}",
            "-serial", f"unix:{agent},server=on,wait=off",
            "-append", f"console=ttyS0 quiet loglevel=3 panic=-1 share={REPO}",
        ]
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=open(self.work / f"qemu-{os.getpid()}.err", "wb"), start_new_session=True)
        self._sock = self._connect(agent)
        self._ready = threading.Event()
        threading.Thread(target=self._read, daemon=True).start()
        if not self._ready.wait(BOOT_TIMEOUT):
            self.shutdown()
            raise GuestError(f"the guest did not come up in {BOOT_TIMEOUT}s; console: {self.console}")
        self.boot_seconds = time.monotonic() - started
        FIGURES["boot"] = self.boot_seconds

    def _connect(self, path):
        end = time.monotonic() + 30
        while True:
            self._check_alive()
            try:
                sock = socket.socket(socket.AF_UNIX)
                sock.connect(str(path))
                return sock
            except OSError:
                sock.close()
                if time.monotonic() > end:
                    raise GuestError("cannot reach the emulator's agent port")
                time.sleep(0.1)

    def _check_alive(self):
        if self.process is not None and self.process.poll() is not None:
            raise GuestError(f"the emulator ended (status {self.process.returncode}); "
                             f"console: {self.console}")

    def shutdown(self):
        if self.process is None:
            return
        started = time.monotonic()
        try:
            self._send("quit")
            self.process.wait(timeout=60)
        except (OSError, subprocess.TimeoutExpired, GuestError):
            self.process.kill()
            self.process.wait()
        self.process = None
        FIGURES["power-off"] = time.monotonic() - started
        if self._sock:
            self._sock.close()
        shutil.rmtree(self.socket_dir, ignore_errors=True)
        shutil.rmtree(self.commands, ignore_errors=True)

    # -- the agent's port ----------------------------------------------------

    def _read(self):
        buffer = b""
        while True:
            try:
                chunk = self._sock.recv(4096)
            except OSError:
                chunk = b""
            if not chunk:
                with self._changed:
                    self._changed.notify_all()
                return
            buffer += chunk
            while b"\n" in buffer:
                line, buffer = buffer.split(b"\n", 1)
                words = line.decode(errors="replace").strip().split(" ")
                if words[0] == "ready":
                    self._ready.set()
                elif words[0] == "done" and len(words) == 3:
                    with self._changed:
                        self._done[words[1]] = int(words[2])
                        self._changed.notify_all()

    def _send(self, line):
        self._check_alive()
        self._sock.sendall(line.encode() + b"\n")

    def _status(self, script):
        with self._changed:
            return self._done.get(script)

    # -- commands ------------------------------------------------------------

    def start(self, args, env, cwd):
        """Starts a command in the guest; the host's Wine programs and
        environment are translated to the guest's 32-bit ones."""
        script = str(self.commands / f"{next(self._numbers):05d}.sh")
        variables = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin"}
        for key, value in env.items():
            if key.startswith("WINE") or key in PASSED_ON or (key in LOCALE_KEYS and "LOCPATH" in env):
                variables[key] = GUEST_PROGRAMS.get(value, value)
        variables["WINEARCH"] = "win32"
        program = [GUEST_PROGRAMS.get(str(args[0]), str(args[0]))] + [str(a) for a in args[1:]]
        text = (f"cd {shlex.quote(str(cwd or REPO))} || exit 127\n"
                f"exec env -i {' '.join(shlex.quote(f'{k}={v}') for k, v in variables.items())} "
                f"{' '.join(shlex.quote(a) for a in program)}\n")
        Path(script).write_text(text)
        self._send(f"run {script}")
        return GuestProcess(self, script)

    def run(self, args, env, timeout, cwd=None):
        """Runs a command to its end: (status, stdout, stderr), or GuestTimeout
        after ending it when it takes longer than timeout."""
        process = self.start(args, env, cwd)
        try:
            status = process.wait(timeout)
        except GuestTimeout:
            process.kill()
            raise
        out, err = process.output()
        return status, out, err

    def shell(self, command, *arguments, timeout=60):
        """A shell command in the guest itself (not under Wine), with its
        arguments as $1, $2..."""
        return self.run(["bash", "-c", command, "guest-shell", *arguments], {}, timeout)
