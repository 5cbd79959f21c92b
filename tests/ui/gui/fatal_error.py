#!/usr/bin/env python3
"""An installation that fails: --skip-download into a folder without payload.zip. The installing
page shows the console, the error box captioned "Ошибка установки ZENKA" appears over it, and
dismissing the box ends the program with 2, the exit code of a failed installation.      fatal_error.py PREFIX EXE
"""
import shutil
import sys
import tempfile
import time

import guilib as g

prefix, exe = sys.argv[1:3]
target = tempfile.mkdtemp(prefix="zenka-fatal-")
setup = g.Setup(prefix, exe, "--skip-download", "--target", g.windows_path(target))
try:
    setup.attach()
    setup.click(333, 489)
    box = setup.wait_window("^Ошибка установки ZENKA$", 30)
    g.check(box is not None, "the error box appears")
    if box is not None:
        time.sleep(0.5)
        screen = g.Screenshot()
        g.check(setup.pixel(screen, 600, 355) == g.CONSOLE_FILL, "the installing page's console is under the box")
        g.check(setup.pixel(screen, 333, 475) == g.BACKGROUND, "the install button is gone")
        # The worker's opening lines: "[OK] ..." then "[..] ...", prefixes in their colours.
        row0 = (setup.origin[0] + 58, setup.origin[1] + 232, setup.origin[0] + 100, setup.origin[1] + 250)
        row1 = (setup.origin[0] + 58, setup.origin[1] + 252, setup.origin[0] + 100, setup.origin[1] + 270)
        g.check(screen.contains(*row0, g.SUCCESS_GREEN), "the first console line starts with a green [OK]")
        g.check(not screen.contains(*row0, (0, 160, 255)), "and has no blue")
        g.check(screen.contains(*row1, (0, 160, 255)), "the second console line starts with a blue [..]")
        g.check(setup.process.poll() is None, "the program waits for the box")
        g.press_key(box, "Return")
    code = setup.exit_code(15)
    g.check(code == 2, "after the error box the program ends with 2 (got %s)" % code)
finally:
    setup.kill()
    shutil.rmtree(target, ignore_errors=True)
g.finish()
