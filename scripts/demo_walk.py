"""Walks through an installation as a user would, with the keyboard, under
Xvfb, and saves a screenshot of every dialog and message box on the way."""
import subprocess
import sys
import time

WINE = "/usr/lib/wine/wine64"
payload, shots = sys.argv[1], sys.argv[2]


def window(name, timeout=30):
    """The X window id of the first window with this exact title."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{name}$"],
                               capture_output=True, text=True).stdout.split()
        if found:
            time.sleep(0.7)  # let it paint
            return found[0]
        time.sleep(0.2)
    raise SystemExit(f"demo: no window '{name}' after {timeout}s")


def shot(name, title):
    path = f"{shots}/{name}.png"
    subprocess.run(["import", "-window", window(title), path], check=True)
    print(f"demo: {title!r} shown, saved {path}")


def keys(*names):
    for key in names:
        subprocess.run(["xdotool", "key", key], check=True)
        time.sleep(0.3)


def double_click(window_id, dx, dy):
    """A double click at an offset from the window's top-left corner."""
    geometry = dict(line.split("=") for line in subprocess.run(
        ["xdotool", "getwindowgeometry", "--shell", window_id],
        capture_output=True, text=True, check=True).stdout.split())
    x, y = int(geometry["X"]) + dx, int(geometry["Y"]) + dy
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "--repeat", "2",
                    "--delay", "80", "1"], check=True)
    time.sleep(0.5)


setup = subprocess.Popen([WINE, "setup.exe"], cwd=payload)
shot("setup", "Morvalen Setup")
keys("Tab", "space")                      # from the directory field to Browse
browser = window("Select Installation Directory")
double_click(browser, 22, 66)             # "[..]": up to the parent folder
shot("browser", "Select Installation Directory")
keys("Escape")                            # Cancel puts the directory back
window("Morvalen Setup")
keys("shift+Tab", "Return")               # back to the directory field, then install
shot("completed", "Installation Succeded")
keys("Return")
try:
    shot("readme", "readme.txt - Notepad")
except SystemExit as missing:
    print(missing)
print(f"demo: setup ended with status {setup.wait(timeout=60)}")
