#!/usr/bin/env python3
"""The OS gate against what Wine reports: build 19040 gets the refusal box and exit code 1 without
a setup window, build 19041 gets the window. Runs in a prefix of its own because it changes the
reported build number.      os_gate.py PREFIX EXE
"""
import os
import subprocess
import sys

import guilib as g

prefix, exe = sys.argv[1:3]
env = dict(os.environ, WINEPREFIX=os.path.abspath(prefix), WINEDEBUG="-all")


def set_build(build):
    subprocess.run(["wine", "reg", "add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion", "/v",
                    "CurrentBuildNumber", "/t", "REG_SZ", "/d", str(build), "/f"], env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


subprocess.run([os.path.join(g.SOURCE_DIR, "tools", "wine-prefix"), prefix], stdin=subprocess.DEVNULL,
               stdout=subprocess.DEVNULL, check=True)
try:
    set_build(19040)
    setup = g.Setup(prefix, exe)
    try:
        box = setup.wait_window("^ZENKA Setup - Неподдерживаемая ОС$", 60)
        g.check(box is not None, "build 19040 gets the refusal box")
        g.check(setup.wait_window(g.MAIN_TITLE, 0.5) is None, "and no setup window")
        if box is not None:
            g.press_key(box, "Return")
        code = setup.exit_code(15)
        g.check(code == 1, "exit code 1 after the refusal (got %s)" % code)
    finally:
        setup.kill()

    set_build(19041)
    setup = g.Setup(prefix, exe)
    try:
        window = setup.wait_window(g.MAIN_TITLE, 60)
        g.check(window is not None, "build 19041 gets the setup window")
        if window is not None:
            g.press_key(window, "alt+F4")  # closing the welcome page asks nothing
        code = setup.exit_code(15)
        g.check(code == 6, "exit code 6 after closing before installing (got %s)" % code)
    finally:
        setup.kill()
finally:
    # The prefix keeps its own persistent wineserver; stop it so nothing outlives the test.
    subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
g.finish()
