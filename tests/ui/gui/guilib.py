"""Driving the real zenka_setup.exe under Wine and Xvfb the way a person would: find its window by
title, click by client coordinates, and read pixel colours back from screenshots of the display.

Every script using this runs alone on the display (CTest RESOURCE_LOCK display), reads DISPLAY
from the environment and takes the Wine prefix and the exe from its command line.
"""
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
WINE_RUN = os.path.join(SOURCE_DIR, "tools", "wine-run")
MAIN_TITLE = "^ZENKA Setup$"

# Colours the checks look for, as (r, g, b).
BACKGROUND = (24, 24, 24)
CARD_FILL = (34, 34, 34)
CARD_BORDER = (51, 51, 51)
FOOTER_FILL = (29, 29, 29)
CONSOLE_FILL = (20, 20, 20)
TRACK_FILL = (45, 45, 45)
ACCENT_BLUE = (0, 120, 212)
SUCCESS_GREEN = (92, 216, 90)
PRIMARY = {"normal": (0, 120, 212), "hovered": (16, 132, 217), "pressed": (0, 108, 190)}
SECONDARY = {"normal": (42, 42, 42), "hovered": (56, 56, 56), "pressed": (32, 32, 32)}

failures = []


def check(condition, message):
    if condition:
        print("ok:", message)
    else:
        print("FAIL:", message)
        failures.append(message)


def finish():
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
    print("all checks passed")
    sys.exit(0)


def wait_for_settled_desktop_shell(prefix, settled=5.0, timeout=30.0):
    """Waits until the desktop's shell (explorer.exe /desktop) of `prefix` has run `settled` seconds.
    Wine starts it with the first window after an idle spell and ends it some time after the last
    one closes; a shell started only moments ago does not yet start programs handed to it."""
    wanted = os.path.abspath(prefix).encode()
    ticks = os.sysconf("SC_CLK_TCK")
    deadline = time.time() + timeout
    while time.time() < deadline:
        uptime = float(open("/proc/uptime").read().split()[0])
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                command = open("/proc/%s/cmdline" % pid, "rb").read()
                environment = open("/proc/%s/environ" % pid, "rb").read().split(b"\0")
                started = int(open("/proc/%s/stat" % pid).read().rsplit(")", 1)[1].split()[19]) / ticks
            except (OSError, ValueError, IndexError):
                continue
            if b"explorer.exe\0/desktop" in command and b"WINEPREFIX=" + wanted in environment:
                if uptime - started >= settled:
                    return True
        time.sleep(0.2)
    return False


def wait_new_window(title, besides=None, timeout=30):
    """Id of a visible window matching `title` other than `besides`, or None after `timeout` s;
    for a window of a program other than the one a Setup watches."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], capture_output=True,
                               text=True).stdout.split()
        others = [window for window in found if window != besides]
        if others:
            return others[0]
        time.sleep(0.3)
    return None


def windows_path(path):
    """The Windows view of a Unix path inside Wine (Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Setup:
    """One run of the exe; the process is killed if the script ends without it exiting."""

    def __init__(self, prefix, exe, *args, cwd=None, env=None, stderr=subprocess.DEVNULL):
        self.prefix = prefix
        # The pointer left over a button by an earlier run would show it hovered.
        subprocess.run(["xdotool", "mousemove", "--sync", "0", "0"], check=True)
        self.process = subprocess.Popen([WINE_RUN, prefix, exe] + list(args), stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=stderr, cwd=cwd, env=env,
                                        start_new_session=True)
        self.window = None
        self.origin = (0, 0)

    def wait_window(self, title=MAIN_TITLE, timeout=30):
        """Id of the first window whose title matches `title` (a regex), or None."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                                   capture_output=True, text=True).stdout.split()
            if found:
                return found[0]
            if self.process.poll() is not None:
                return None
            time.sleep(0.2)
        return None

    def wait_gone(self, title, timeout=10, window=None):
        """True once no visible window matches `title` any more; with `window`, once that one
        window is not among them (a box of the same title that follows it does not count)."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                                   capture_output=True, text=True).stdout.split()
            if not found or (window is not None and window not in found):
                return True
            time.sleep(0.2)
        return False

    def attach(self, timeout=30):
        """Finds the main window and remembers where its client area is on the screen."""
        self.window = self.wait_window(MAIN_TITLE, timeout)
        if self.window is None:
            raise RuntimeError("the setup window did not appear")
        self.origin = window_origin(self.window)
        time.sleep(0.5)  # first paint
        return self.window

    def client(self, x, y):
        return self.origin[0] + x, self.origin[1] + y

    def move(self, x, y):
        sx, sy = self.client(x, y)
        subprocess.run(["xdotool", "mousemove", "--sync", str(sx), str(sy)], check=True)

    def click(self, x, y):
        self.move(x, y)
        time.sleep(0.1)
        subprocess.run(["xdotool", "click", "1"], check=True)

    def pixel(self, shot, x, y):
        sx, sy = self.client(x, y)
        return shot.pixel(sx, sy)

    def exit_code(self, timeout=20):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        """Ends the program at once, as a user's "End task" would. The program runs in a session of
        its own below wine-run (see tools/wine-run), whose watcher would end it only on its next
        poll: long enough for a download to finish that the test meant to cut off."""
        if self.process.poll() is None:
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    parent = int(open("/proc/%s/stat" % pid).read().rsplit(")", 1)[1].split()[1])
                    if parent == self.process.pid:
                        os.killpg(int(pid), 9)  # a group of its own: the program, or the watcher
                except (OSError, ValueError, IndexError):
                    continue
            os.killpg(self.process.pid, 9)
            self.process.wait()


def window_origin(window):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True,
                         text=True, check=True).stdout
    values = dict(line.split("=", 1) for line in out.split())
    return int(values["X"]), int(values["Y"])


class Screenshot:
    """The whole display as raw RGB, taken with ImageMagick's import."""

    def __init__(self, keep_as=None):
        with tempfile.NamedTemporaryFile(suffix=".ppm") as handle:
            subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:" + handle.name], check=True)
            data = open(handle.name, "rb").read()
        if keep_as:
            subprocess.run(["convert", "ppm:-", keep_as], input=data, check=True)
        # P6 header: magic, width, height, maxval, each followed by whitespace.
        fields = []
        position = 0
        while len(fields) < 4:
            while data[position:position + 1].isspace():
                position += 1
            start = position
            while not data[position:position + 1].isspace():
                position += 1
            fields.append(data[start:position])
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[position + 1:]

    def pixel(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.pixels[offset:offset + 3])

    def contains(self, left, top, right, bottom, colour):
        return any(self.pixel(x, y) == colour for y in range(top, bottom) for x in range(left, right))


def press_key(window, key):
    """Focuses `window` and sends it a key (Wine takes keys only into the focused window)."""
    time.sleep(0.4)  # a box that has just been mapped may not take the focus yet
    subprocess.run(["xdotool", "windowfocus", "--sync", window], capture_output=True)
    time.sleep(0.3)
    # Addressed to the window as well: a key typed right after a focus change can otherwise land
    # in the window that had the focus before.
    sent = subprocess.run(["xdotool", "key", "--window", window, key], capture_output=True, text=True)
    # A key that closes its window (Return in a box) may end it between the press and the release:
    # Wine 10 destroys the window at once, and sending the release then fails. The press did land.
    gone = subprocess.run(["xdotool", "getwindowname", window], capture_output=True).returncode != 0
    if sent.returncode != 0 and not gone:
        raise RuntimeError("xdotool could not send %s to window %s: %s" % (key, window, sent.stderr.strip()))
    if sent.returncode != 0:
        # The keys it could not release stay down on the display and repeat into whichever window
        # has the focus next (a held alt+F4 closes the next program's window).
        subprocess.run(["xdotool", "keyup", key], capture_output=True)
