"""Walks through an installation as a user would, with the mouse, under Xvfb,
and saves a screenshot of every dialog and message box on the way.

Every click goes to a window by position, and only once the pointer is over
that very window: without a window manager the keyboard focus is not reliably
where a key is meant to go. The positions are the controls' own, which the
dialog reports at run time (tests/driver's locate): fonts and metrics differ
between Wine releases. After each click the walk waits until it has
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
payload, shots, locate = sys.argv[1], sys.argv[2], sys.argv[3]

SETUP, BROWSER, COMPLETED = "Morvalen Setup", "Select Installation Directory", "Installation Succeded"
SAMPLE = "Morvalen 2.0"  # the sample application's box, started before the readme
# Control ids (resources/resource.h); a message box's OK is IDOK too.
IDOK, IDCANCEL, IDC_DIRECTORY, IDC_BROWSE, IDC_DIR_LIST = 1, 2, 1000, 1001, 1004


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


def where(caption, control, entry=None):
    """The screen position of a control of the dialog with this caption (or of
    an entry of its list box), and the control's text, as the dialog reports them."""
    done = subprocess.run([WINE, locate, caption, str(control), *([entry] if entry else [])],
                          capture_output=True)
    if done.returncode:
        raise Failed(f"no control {control}{f' entry {entry!r}' if entry else ''} in '{caption}'")
    x, y, text = done.stdout.decode("utf-8", errors="replace").rstrip("\r\n").split("\t", 2)
    return (int(x), int(y)), text


def shot(name, window_id):
    path = f"{shots}/{name}.png"
    run("import", "-window", window_id, path)
    print(f"demo: {run('xdotool', 'getwindowname', window_id).strip()!r} shown, saved {path}")


def click(window_id, position, took_effect, clicks=1):
    """Clicks at the screen position, over the window, until took_effect() holds, TRIES times at most."""
    x, y = position
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
        dialog = window(SETUP)
        shot("setup", dialog)
    with step("open the browser with Browse"):
        click(dialog, where(SETUP, IDC_BROWSE)[0], lambda: visible(BROWSER))
        browser = window(BROWSER)
    with step('go up to the parent folder with "[..]"'):
        folder = lambda: where(BROWSER, IDC_DIRECTORY)[1]
        shown = folder()
        click(browser, where(BROWSER, IDC_DIR_LIST, "[..]")[0], lambda: folder() != shown, clicks=2)
        time.sleep(0.5)  # let the list repaint
        shot("browser", browser)
    with step("close the browser with Cancel"):  # Cancel puts the directory back
        click(browser, where(BROWSER, IDCANCEL)[0], gone(browser))
    with step("install with Install"):
        click(dialog, where(SETUP, IDOK)[0], gone(dialog))
    with step("show the completion box"):
        box = window(COMPLETED, timeout=60)
        shot("completed", box)
    with step("close the completion box with OK"):
        click(box, where(COMPLETED, IDOK)[0], gone(box))
    with step("show Morvalen"):
        sample = window(SAMPLE)
        # The readme opens over it: once it has, the box is brought to the
        # front, as a user would by clicking it.
        readme = window("readme.txt - Notepad")
        run("xdotool", "windowraise", sample)
        time.sleep(0.7)  # let it paint
        shot("morvalen", sample)
    with step("close Morvalen with OK"):
        click(sample, where(SAMPLE, IDOK)[0], gone(sample))
    with step("show the readme"):
        shot("readme", readme)
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
