"""The release step as a publisher runs it (cpack with the build's own
configuration), with throwaway code-signing certificates made by openssl for
one test run in a folder under build/ and never kept."""

import contextlib
import http.server
import json
import os
import shutil
import socket
import subprocess
import threading
import zipfile
from pathlib import Path

ZIP_NAME = "Morvalen-2.0.zip"
PASSWORD = "throwaway"
# Latin-1 "Paßwörter", which is not UTF-8: as the environment hands such
# bytes to Python (os.fsdecode).
NOT_UTF8_PASSWORD = os.fsdecode("Paßwörter".encode("latin-1"))
# The staged programs that the release step signs, with their descriptions.
SIGNED_FILES = (("setup.exe", "Morvalen Setup"), ("Uninstal.exe", "Morvalen Uninstaller"))


def make_certificates(folder, password=PASSWORD):
    """A root and a code-signing certificate it issued: root.pem is what
    verification trusts; the publisher's certificate comes both as PKCS#12
    (publisher.p12, under password) and as a chain (chain.pem) with its key
    encrypted under the password in password.txt. Returns the paths by name."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    paths = {name: folder / file for name, file in (
        ("root", "root.pem"), ("root_key", "root.key"), ("cert", "publisher.pem"),
        ("plain_key", "publisher-plain.key"), ("key", "publisher.key"), ("chain", "chain.pem"),
        ("pkcs12", "publisher.p12"), ("password_file", "password.txt"))}
    paths["password_file"].write_bytes(os.fsencode(password))
    password = f"file:{paths['password_file']}"

    def openssl(*args):
        subprocess.run(["openssl", *map(str, args)], check=True, capture_output=True, timeout=60)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Throwaway Test Root",
            "-keyout", paths["root_key"], "-out", paths["root"],
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Throwaway Test Publisher",
            "-CA", paths["root"], "-CAkey", paths["root_key"],
            "-keyout", paths["plain_key"], "-out", paths["cert"],
            "-addext", "basicConstraints=critical,CA:FALSE", "-addext", "keyUsage=critical,digitalSignature",
            "-addext", "extendedKeyUsage=codeSigning")
    paths["chain"].write_bytes(paths["cert"].read_bytes() + paths["root"].read_bytes())
    openssl("pkey", "-in", paths["plain_key"], "-aes256", "-passout", password, "-out", paths["key"])
    openssl("pkcs12", "-export", "-inkey", paths["plain_key"], "-in", paths["cert"], "-certfile", paths["root"],
            "-passout", password, "-out", paths["pkcs12"])
    return paths


@contextlib.contextmanager
def timestamp_server(folder, certificates):
    """An RFC 3161 timestamp server on a local port while the block runs: a
    timestamping authority certified by the throwaway root, answering with
    openssl ts. Yields its URL."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    key, cert, config = folder / "tsa.key", folder / "tsa.pem", folder / "tsa.cnf"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Throwaway Test Timestamps", "-CA", certificates["root"],
                    "-CAkey", certificates["root_key"], "-keyout", key, "-out", cert,
                    "-addext", "basicConstraints=critical,CA:FALSE",
                    "-addext", "extendedKeyUsage=critical,timeStamping"], check=True, capture_output=True, timeout=60)
    (folder / "serial").write_text("01\n")
    config.write_text(f"[tsa]\ndefault_tsa = here\n[here]\nserial = {folder / 'serial'}\n"
                      "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\ndigests = sha256, sha1\n")

    class Authority(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            (folder / "query").write_bytes(self.rfile.read(int(self.headers["Content-Length"])))
            replied = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", folder / "query",
                                      "-inkey", key, "-signer", cert, "-out", folder / "reply"],
                                     capture_output=True, timeout=60)
            reply = (folder / "reply").read_bytes() if replied.returncode == 0 else b""
            self.send_response(200 if reply else 500)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/"
    finally:
        server.shutdown()
        server.server_close()


class SilentServer:
    """A server on a local port that accepts every connection, reads what it
    is sent and never answers, until the block ends: a timestamp server that
    hangs. connected is set once something has connected."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.url = f"http://127.0.0.1:{self.listener.getsockname()[1]}/"
        self.connected = threading.Event()
        self.held = []
        threading.Thread(target=self.hold, daemon=True).start()

    def hold(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            self.held.append(connection)
            self.connected.set()

    def close(self):
        self.listener.close()
        for connection in self.held:
            connection.close()


@contextlib.contextmanager
def silent_server():
    server = SilentServer()
    try:
        yield server
    finally:
        server.close()


def process_running(pid):
    """Whether process pid still runs (a zombie has ended)."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def packing_env(**settings):
    """This environment less any signing settings of the caller's own, plus the given ones."""
    env = {key: value for key, value in os.environ.items() if not key.startswith("MORVALEN_SIGN_")}
    env.update({key: str(value) for key, value in settings.items()})
    return env


def packing(build, folder, cached=(), wrapper=None, **settings):
    """The command line and environment of the build's release step into
    folder, settings in the environment; cached ones (name, value) as the
    cache variables of the same name reach it. A wrapper folder
    (osslsigncode_wrapper) goes first on PATH."""
    defines = [arg for name, value in cached for arg in ("-D", f"CPACK_{name}={value}")]
    env = packing_env(**settings)
    if wrapper:
        env["PATH"] = f"{wrapper}{os.pathsep}{env['PATH']}"
    return ["cpack", "--config", str(Path(build) / "CPackConfig.cmake"), "-B", str(folder), *defines], env


def pack(build, folder, cached=(), wrapper=None, timeout=300, **settings):
    """The build's release step (see packing), run to its end."""
    command, env = packing(build, folder, cached, wrapper, **settings)
    return subprocess.run(command, env=env, capture_output=True, text=True, timeout=timeout)


WRAPPER = """import json, os, signal, subprocess, sys
args = sys.argv[1:]
record = {"argv": args, "pid": os.getpid(), "parent": os.getppid()}
if "-readpass" in args:
    path = args[args.index("-readpass") + 1]
    record.update(readpass=os.path.realpath(path), mode=os.stat(path).st_mode & 0o777,
                  folder_mode=os.stat(os.path.dirname(path)).st_mode & 0o777)
with open(LOG, "a") as log:
    log.write(json.dumps(record) + "\\n")
if ACT == "interrupt":
    os.kill(os.getppid(), signal.SIGTERM)
    sys.exit(1)
if ACT == "untimestamped":
    at = args.index("-ts")
    del args[at:at + 2]
if ACT != "tamper":    # this process becomes osslsigncode
    os.execv(REAL, [REAL, *args])
done = subprocess.run([REAL, *args])
if done.returncode == 0 and ACT == "tamper":
    out = args[args.index("-out") + 1]
    with open(out, "r+b") as file:
        file.seek(0x400 + 100)    # in the code
        byte = file.read(1)[0]
        file.seek(-1, 1)
        file.write(bytes([byte ^ 1]))
sys.exit(done.returncode)
"""


def osslsigncode_wrapper(folder, act=None):
    """A folder holding an osslsigncode that logs each command line it is given,
    its process and its caller, and the path and modes of the password file
    that it names, to log.json, then becomes the real one. act "tamper"
    changes one byte of the signed image afterwards; act "interrupt"
    terminates its caller instead of signing; act "untimestamped" signs
    without the timestamp server it is given. Returns the folder; read the
    log with wrapper_log."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    script = folder / "osslsigncode"
    script.write_text(f"#!/usr/bin/env python3\nLOG = {str(folder / 'log.json')!r}\nACT = {act!r}\n"
                      f"REAL = {shutil.which('osslsigncode')!r}\n{WRAPPER}")
    script.chmod(0o755)
    return folder


def wrapper_log(folder):
    log = Path(folder) / "log.json"
    return [json.loads(line) for line in log.read_text().splitlines()] if log.exists() else []


def verify(exe, root):
    """osslsigncode verify against the throwaway root only (for the signature
    and for a timestamp)."""
    return subprocess.run(["osslsigncode", "verify", "-CAfile", str(root), "-TSA-CAfile", str(root),
                           "-in", str(exe)],
                          capture_output=True, text=True, timeout=60)


def signed_setup(build, folder):
    """The setup.exe of the build's release ZIP, signed with a throwaway
    PKCS#12 certificate there; checked to verify before it is handed out."""
    folder = Path(folder)
    certificates = make_certificates(folder / "certificates")
    packed = pack(build, folder, MORVALEN_SIGN_PKCS12=certificates["pkcs12"], MORVALEN_SIGN_PASSWORD=PASSWORD)
    if packed.returncode != 0:
        raise RuntimeError(f"the release step failed:\n{packed.stdout}\n{packed.stderr}")
    exe = folder / "setup.exe"
    with zipfile.ZipFile(folder / ZIP_NAME) as archive:
        exe.write_bytes(archive.read("setup.exe"))
    checked = verify(exe, certificates["root"])
    if checked.returncode != 0:
        raise RuntimeError(f"the setup in the release ZIP does not verify:\n{checked.stdout}\n{checked.stderr}")
    return exe
