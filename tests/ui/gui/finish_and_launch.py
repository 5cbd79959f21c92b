#!/usr/bin/env python3
"""A complete installation from a local package (--skip-download): the finished page with the
launch and close buttons in place of install and cancel, then the launch button, which starts
ZENKA.exe from the target folder with that folder as working directory and ends the setup.
    finish_and_launch.py PREFIX EXE PROBE_EXE
PROBE_EXE records its working directory and command line in launched.txt beside itself.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import guilib as g

prefix, exe, probe = sys.argv[1:4]
work = tempfile.mkdtemp(prefix="zenka-finish-")
source = os.path.join(work, "package")
target = os.path.join(work, "Target Folder")
os.makedirs(os.path.join(source, "data"))
os.makedirs(target)
shutil.copy(probe, os.path.join(source, "ZENKA.exe"))
with open(os.path.join(source, "data", "readme.txt"), "w") as out:
    out.write("ZENKA\n")
subprocess.run([sys.executable, os.path.join(g.SOURCE_DIR, "tools", "make_package.py"), source,
                os.path.join(target, "payload.zip")], check=True, stdout=subprocess.DEVNULL)

setup = g.Setup(prefix, exe, "--skip-download", "--target", g.windows_path(target))
try:
    setup.attach()
    setup.click(333, 489)
    deadline = time.time() + 60
    finished = False
    while time.time() < deadline and not finished:
        time.sleep(0.3)
        screen = g.Screenshot()
        finished = setup.pixel(screen, 300, 238) == g.CARD_BORDER  # the finished page's divider
    g.check(finished, "the finished page appears")
    time.sleep(0.5)
    screen = g.Screenshot()
    title = (setup.origin[0] + 90, setup.origin[1] + 24, setup.origin[0] + 632, setup.origin[1] + 52)
    g.check(screen.contains(*title, g.SUCCESS_GREEN), "the title is green")
    g.check(setup.pixel(screen, 333, 475) == g.BACKGROUND, "the install button is gone (x 328..337 is free)")
    g.check(setup.pixel(screen, 343, 475) == g.PRIMARY["normal"], "the launch button starts at x 338")
    g.check(setup.pixel(screen, 527, 475) == g.SECONDARY["normal"], "the close button sits where cancel was")
    g.check(os.path.isfile(os.path.join(target, "ZENKA.exe")), "ZENKA.exe was unpacked")
    g.check(os.path.isfile(os.path.join(target, "data", "readme.txt")), "data/readme.txt was unpacked")
    g.check(not os.path.exists(os.path.join(target, "payload.zip")), "payload.zip was removed")

    setup.click(345, 489)
    code = setup.exit_code(15)
    g.check(code == 0, "the launch button ends the setup with 0 (got %s)" % code)
    record = os.path.join(target, "launched.txt")
    deadline = time.time() + 20
    while time.time() < deadline and not os.path.exists(record):
        time.sleep(0.2)
    g.check(os.path.exists(record), "ZENKA.exe was started")
    if os.path.exists(record):
        time.sleep(0.3)
        lines = dict(line.split("=", 1) for line in open(record, encoding="utf-8-sig").read().splitlines() if "=" in line)
        cwd = lines.get("cwd", "").rstrip("\\")
        g.check(cwd.lower() == g.windows_path(target).lower(),
                "working directory is the target folder (%r)" % cwd)
        g.check(lines.get("command", "").lower().find(g.windows_path(os.path.join(target, "ZENKA.exe")).lower()) >= 0,
                "started as %r" % lines.get("command"))
        g.check(lines.get("parent", "").lower() == "explorer.exe",
                "started by the desktop's shell, not by the setup (parent %r)" % lines.get("parent"))
finally:
    setup.kill()
    shutil.rmtree(work, ignore_errors=True)
g.finish()
