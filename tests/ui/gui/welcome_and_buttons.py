#!/usr/bin/env python3
"""The welcome page of the real exe: its colours, the button colours when hovered and pressed, a
press released outside a button that does nothing, and the cancel button that ends the program
with exit code 6 (closed before installing) at once.      welcome_and_buttons.py PREFIX EXE
"""
import subprocess
import sys
import time

import guilib as g

prefix, exe = sys.argv[1:3]
setup = g.Setup(prefix, exe)
try:
    window = setup.attach()
    width, height = 660, 530
    screen = g.Screenshot()
    centre_x = setup.origin[0] + width // 2
    centre_y = setup.origin[1] + height // 2
    g.check(abs(centre_x - screen.width // 2) <= 20 and abs(centre_y - screen.height // 2) <= 30,
            "the window is centred on the screen (client centre %d,%d)" % (centre_x, centre_y))

    expected = [
        ((2, 2), g.BACKGROUND, "window background"),
        ((300, 88), g.CARD_BORDER, "about panel border"),
        ((40, 190), g.CARD_FILL, "about panel fill"),
        ((300, 202), g.BACKGROUND, "gap between the panels"),
        ((620, 380), g.CARD_FILL, "features panel fill"),
        ((620, 447), g.FOOTER_FILL, "footer fill"),
        ((333, 475), g.PRIMARY["normal"], "install button"),
        ((527, 475), g.SECONDARY["normal"], "cancel button"),
        ((340, 462), g.BACKGROUND, "above the buttons"),
    ]
    for (x, y), colour, what in expected:
        got = setup.pixel(screen, x, y)
        g.check(got == colour, "%s at (%d,%d): %s, expected %s" % (what, x, y, got, colour))
    title = (setup.origin[0] + 90, setup.origin[1] + 24, setup.origin[0] + 400, setup.origin[1] + 52)
    g.check(screen.contains(*title, (255, 255, 255)), "the white title is drawn")

    # Hover and press on the install button; releasing outside it must not start anything.
    setup.move(333, 475)
    time.sleep(0.4)
    g.check(setup.pixel(g.Screenshot(), 333, 475) == g.PRIMARY["hovered"], "install button hovered")
    subprocess.run(["xdotool", "mousedown", "1"], check=True)
    time.sleep(0.4)
    g.check(setup.pixel(g.Screenshot(), 333, 475) == g.PRIMARY["pressed"], "install button pressed")
    setup.move(150, 300)
    subprocess.run(["xdotool", "mouseup", "1"], check=True)
    time.sleep(0.6)
    screen = g.Screenshot()
    g.check(setup.pixel(screen, 333, 475) == g.PRIMARY["normal"], "install button back to normal after leaving")
    g.check(setup.pixel(screen, 620, 380) == g.CARD_FILL and setup.process.poll() is None,
            "a press released outside the button leaves the welcome page")

    setup.move(527, 475)
    time.sleep(0.4)
    g.check(setup.pixel(g.Screenshot(), 527, 475) == g.SECONDARY["hovered"], "cancel button hovered")
    subprocess.run(["xdotool", "mousedown", "1"], check=True)
    time.sleep(0.4)
    g.check(setup.pixel(g.Screenshot(), 527, 475) == g.SECONDARY["pressed"], "cancel button pressed")
    started = time.time()
    subprocess.run(["xdotool", "mouseup", "1"], check=True)
    code = setup.exit_code(10)
    g.check(code == 6, "cancel ends the program with 6, nothing installed (got %s after %.1f s)" %
            (code, time.time() - started))
finally:
    setup.kill()
g.finish()
