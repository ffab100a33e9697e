"""Runs bench/measure.exe under Wine in a fresh prefix of its own.

    python3 bench/run_bench.py RUNS

The build directory comes from MORVALEN_BUILD (default build/x86_64): it must
hold setup.exe, payload/ and bench/ (the reference programs and measure.exe).
The prefix lives in build/bench/run-<pid> and is removed afterwards, its
wineserver stopped, whatever happens. Exit status: measure.exe's.
"""

import os
import shutil
import signal
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))
from harness import (PAYLOAD, SERVER_TIMEOUT, WINE, WINE_CALL_TIMEOUT, WINESERVER,  # noqa: E402
                     HarnessError, run_bounded, stop_server, wine_env)

BENCH_ROOT = REPO / "build" / "bench"
SECONDS_PER_RUN = 30  # four samples and their clean-up, on a very busy machine


def artefacts(build):
    programs = [build / "setup.exe", build / "bench" / "empty_dialog.exe",
                build / "bench" / "plain_copy.exe"] + [build / "payload" / n for n in PAYLOAD]
    measure = build / "bench" / "measure.exe"
    missing = [str(path) for path in programs + [measure] if not path.is_file()]
    if missing:
        raise HarnessError("build first (scripts/bench.sh does); missing: " + ", ".join(missing))
    return programs, measure


def remove_run(root):
    stop_server(wine_env(root / "prefix", root / "home"))
    shutil.rmtree(root, ignore_errors=True)


def remove_stale_runs():
    """What killed runs left behind: their servers and prefixes."""
    for stale in BENCH_ROOT.glob("run-*"):
        pid = stale.name[4:]
        if not (pid.isdigit() and Path(f"/proc/{pid}").exists()):
            remove_run(stale)


def make_prefix(env, cwd):
    run_bounded([WINE, "wineboot", "-i"], env, WINE_CALL_TIMEOUT, cwd=cwd)
    # Headless dialogs, and the NT branch of the setup (no uninstall entry, no shortcuts).
    for key, value, data in ((r"HKCU\Software\Wine\Drivers", "Graphics", "null"),
                             (r"HKCU\Software\Wine", "Version", "winxp")):
        run_bounded([WINE, "reg", "add", key, "/v", value, "/d", data, "/f"], env,
                    WINE_CALL_TIMEOUT, cwd=cwd)
    stop_server(env)


def main():
    runs = int(sys.argv[1])
    build = Path(os.environ.get("MORVALEN_BUILD", REPO / "build" / "x86_64")).resolve()
    programs, measure = artefacts(build)
    remove_stale_runs()
    root = BENCH_ROOT / f"run-{os.getpid()}"
    (root / "home").mkdir(parents=True)
    env = wine_env(root / "prefix", root / "home")
    drive_c = root / "prefix" / "drive_c"
    try:
        print(f"making a Wine prefix in {root}", file=sys.stderr, flush=True)
        make_prefix(env, root)
        for directory, files in (("payload", programs), ("bench", [measure])):
            (drive_c / directory).mkdir()
            for path in files:
                shutil.copy2(path, drive_c / directory)
        run_bounded([WINESERVER, "-p"], env, SERVER_TIMEOUT)
        status, out, err = run_bounded([WINE, r"C:\bench\measure.exe", str(runs), r"C:\payload"],
                                       env, 60 + runs * SECONDS_PER_RUN, cwd=drive_c, check=False)
        printed = out.decode(errors="replace")
        sys.stdout.write(printed)
        # A measurer that ends without its figures measured nothing, whatever its status.
        missing = [stage for stage in ("startup", "install") if f"{stage}  ratio of medians" not in printed]
        if missing and not status:
            print(f"bench: no figures for {', '.join(missing)} (status {status})", file=sys.stderr)
            status = 1
        if status:
            sys.stderr.write(err.decode(errors="replace"))
        return status
    finally:
        remove_run(root)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # still stop the server
    try:
        sys.exit(main())
    except HarnessError as error:
        print(f"bench: {error}", file=sys.stderr)
        sys.exit(2)
