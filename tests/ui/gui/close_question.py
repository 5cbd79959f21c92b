#!/usr/bin/env python3
"""Closing while installing: the question appears, No (the default, so Return) keeps the
installation running, and Yes ends the program with 6 while the worker is still busy.
    close_question.py PREFIX EXE
A package of many small files keeps the installation busy long enough to ask twice.
"""
import os
import shutil
import sys
import tempfile
import time
import zipfile

import guilib as g

prefix, exe = sys.argv[1:3]
ENTRIES = 50000
target = tempfile.mkdtemp(prefix="zenka-close-")
with zipfile.ZipFile(os.path.join(target, "payload.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
    for index in range(ENTRIES):
        archive.writestr("data/%03d/file%05d.txt" % (index // 500, index), "ZENKA %d\n" % index)
    archive.writestr("ZENKA.exe", "MZ")  # the programs a package must hold at its root
    archive.writestr("zenka-updater.exe", "MZ")

QUESTION = "^ZENKA Setup - Прерывание$"
setup = g.Setup(prefix, exe, "--skip-download", "--target", g.windows_path(target))
try:
    window = setup.attach()
    setup.click(333, 489)
    time.sleep(0.5)
    screen = g.Screenshot()
    g.check(setup.pixel(screen, 600, 355) == g.CONSOLE_FILL, "the installing page is shown")
    prefixes = (setup.origin[0] + 58, setup.origin[1] + 232, setup.origin[0] + 100, setup.origin[1] + 352)
    g.check(screen.contains(*prefixes, (0, 160, 255)), "console lines start with a blue [..]")

    g.press_key(window, "alt+F4")
    box = setup.wait_window(QUESTION, 15)
    g.check(box is not None, "closing asks first")
    if box is not None:
        g.press_key(box, "Return")  # No is the default button
        g.check(setup.wait_gone(QUESTION), "the question is gone")
        screen = g.Screenshot()
        g.check(setup.process.poll() is None, "No keeps the program running")
        g.check(setup.pixel(screen, 600, 355) == g.CONSOLE_FILL, "still on the installing page")

        g.press_key(window, "alt+F4")
        box = setup.wait_window(QUESTION, 15)
        g.check(box is not None, "closing again asks again")
        if box is not None:
            g.press_key(box, "Tab")  # from No to Yes
            g.press_key(box, "Return")
            code = setup.exit_code(15)
            g.check(code == 6, "Yes ends the program with 6, the installation unfinished (got %s)" % code)
            extracted = sum(len(files) for _, _, files in os.walk(os.path.join(target, "data")))
            g.check(extracted < ENTRIES, "the installation was still running (%d of %d files)" % (extracted, ENTRIES))
finally:
    setup.kill()
    shutil.rmtree(target, ignore_errors=True)
g.finish()
