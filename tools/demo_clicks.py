#!/usr/bin/env python3
"""Clicks through a demonstration install for scripts/demo when nobody is at the display, saving a
screenshot of every page: welcome, installing, finished, and the launched ZENKA.exe.

    demo_clicks.py PREFIX SETUP_EXE SHOTS_DIR -- SETUP_ARGS...
Exit code 0 when the installation reached the finished page and the launcher started.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "ui", "gui"))
import guilib as g  # noqa: E402

INSTALL_BUTTON = (418, 489)
LAUNCH_BUTTON = (423, 489)


def shoot(shots, name, window_origin, size=(660, 530)):
    path = os.path.join(shots, name)
    full = os.path.join(shots, ".screen.png")
    g.Screenshot(keep_as=full)
    x, y = window_origin
    subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (size[0], size[1], x, y), "+repage", path],
                   check=True)
    os.remove(full)
    print("  screenshot: %s" % path)


def main(argv):
    prefix, exe, shots = argv[1:4]
    args = argv[argv.index("--") + 1:]
    os.makedirs(shots, exist_ok=True)
    setup = g.Setup(prefix, exe, *args)
    try:
        setup.attach()
        shoot(shots, "1-welcome.png", setup.origin)
        setup.click(*INSTALL_BUTTON)
        subprocess.run(["xdotool", "mousemove", "0", "0"])
        time.sleep(0.15)
        shoot(shots, "2-installing.png", setup.origin)
        deadline = time.time() + 120
        while time.time() < deadline and setup.process.poll() is None:
            if setup.pixel(g.Screenshot(), 300, 238) == g.CARD_BORDER:
                break
            time.sleep(0.3)
        else:
            print("the installation did not reach the finished page", file=sys.stderr)
            return 1
        time.sleep(0.3)
        shoot(shots, "3-finished.png", setup.origin)
        setup.click(*LAUNCH_BUTTON)
        if setup.exit_code(20) != 0:
            print("the setup did not end after the launch button", file=sys.stderr)
            return 1
        # Not the setup's own wait, which gives up once the setup has ended: the desktop's shell
        # may start the launcher seconds after that (under Wine 10 it does).
        launcher = g.wait_new_window("^ZENKA$", None, 30)
        if launcher is None:
            print("ZENKA.exe did not start", file=sys.stderr)
            return 1
        time.sleep(1.0)
        origin = g.window_origin(launcher)
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", launcher], capture_output=True,
                                  text=True).stdout
        values = dict(line.split("=", 1) for line in geometry.split())
        shoot(shots, "4-launcher.png", origin, (int(values["WIDTH"]), int(values["HEIGHT"])))
        subprocess.run(["xdotool", "windowkill", launcher])
        return 0
    finally:
        setup.kill()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
