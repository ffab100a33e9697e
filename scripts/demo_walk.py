"""Walks through an installation as a user would, with the mouse, under Xvfb,
and saves a screenshot of every dialog and message box on the way.

Every click goes to a window by position, and only once the pointer is over
that very window: without a window manager the keyboard focus is not reliably
where a key is meant to go. After each click the walk waits until it has
taken effect and clicks again, a few times at most, if it has not. A step that
still fails is named in one line; the walk then ends the prefix's Wine
processes and exits with status 1."""
import contextlib
import subprocess
import sys
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
TRIES = 3
payload, shots = sys.argv[1], sys.argv[2]

# Offsets from a window's top-left corner, measured on the screenshots.
BROWSE, INSTALL = (295, 123), (97, 317)          # setup dialog
PARENT, CANCEL = (22, 66), (192, 235)            # browser: "[..]", the first entry, and Cancel
FOLDER_LABEL = "287x20+0+32"                     # browser: the folder shown above the list
OK = (98, 83)                                    # completion box


class Failed(Exception):
    pass


@contextlib.contextmanager
def step(name):
    try:
        yield
    except Failed as why:
        raise Failed(f"step '{name}' failed: {why}") from None


def run(*command, text=True):
    done = subprocess.run(command, capture_output=True, text=text)
    if done.returncode:
        raise Failed(f"{command[0]} {command[1]} ended with status {done.returncode}")
    return done.stdout


def visible(title):
    """The X window ids of the shown windows with this exact title."""
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                          capture_output=True, text=True).stdout.split()


def wait_until(condition, timeout):
    deadline = time.monotonic() + timeout
    while not (result := condition()) and time.monotonic() < deadline:
        time.sleep(0.2)
    return result


def window(title, timeout=30):
    found = wait_until(lambda: visible(title), timeout)
    if not found:
        raise Failed(f"no window '{title}' after {timeout}s")
    time.sleep(0.7)  # let it paint
    return found[0]


def gone(window_id):
    return lambda: window_id not in visible(".*")


def part(window_id, crop):
    """Part of the window's picture (WxH+X+Y), as it stands once it no longer changes."""
    grab = lambda: run("import", "-window", window_id, "-crop", crop, "png:-", text=False)
    last = grab()
    for _ in range(20):
        time.sleep(0.5)
        if (now := grab()) == last:
            return now
        last = now
    raise Failed("the window kept changing")


def shot(name, window_id):
    path = f"{shots}/{name}.png"
    run("import", "-window", window_id, path)
    print(f"demo: {run('xdotool', 'getwindowname', window_id).strip()!r} shown, saved {path}")


def click(window_id, offset, took_effect, clicks=1):
    """Clicks at the offset in the window until took_effect() holds, TRIES times at most."""
    geometry = dict(line.split("=") for line in run(
        "xdotool", "getwindowgeometry", "--shell", window_id).split())
    x, y = int(geometry["X"]) + offset[0], int(geometry["Y"]) + offset[1]
    for attempt in range(1, TRIES + 1):
        pointer = dict(line.split("=") for line in run(
            "xdotool", "mousemove", str(x), str(y), "getmouselocation", "--shell").split())
        if pointer["WINDOW"] == window_id:
            run("xdotool", "click", "--repeat", str(clicks), "--delay", "80", "1")
        if wait_until(took_effect, 10):
            return
        if attempt < TRIES:
            print("demo: no effect after 10s, clicking again")
    raise Failed(f"no effect after {TRIES} tries")


def walk():
    setup = subprocess.Popen([WINE, "setup.exe"], cwd=payload)
    with step("show the setup dialog"):
        dialog = window("Morvalen Setup")
        shot("setup", dialog)
    with step("open the browser with Browse"):
        click(dialog, BROWSE, lambda: visible("Select Installation Directory"))
        browser = window("Select Installation Directory")
    with step('go up to the parent folder with "[..]"'):
        folder = part(browser, FOLDER_LABEL)
        click(browser, PARENT, lambda: part(browser, FOLDER_LABEL) != folder, clicks=2)
        time.sleep(0.5)  # let the list repaint
        shot("browser", browser)
    with step("close the browser with Cancel"):  # Cancel puts the directory back
        click(browser, CANCEL, gone(browser))
    with step("install with Install"):
        click(dialog, INSTALL, gone(dialog))
    with step("show the completion box"):
        box = window("Installation Succeded", timeout=60)
        shot("completed", box)
    with step("close the completion box with OK"):
        click(box, OK, gone(box))
    with step("show the readme"):
        shot("readme", window("readme.txt - Notepad"))
    with step("end the setup"):
        try:
            status = setup.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise Failed("still running after 60s") from None
        print(f"demo: setup ended with status {status}")
        if status:
            raise Failed(f"status {status}")


status = 0
try:
    walk()
except Failed as failure:
    print(f"demo: {failure}", file=sys.stderr)
    status = 1
finally:
    # Ends the setup, Notepad and the rest of the prefix while the display is still there.
    subprocess.run([WINESERVER, "-k"], stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], stderr=subprocess.DEVNULL)
sys.exit(status)
