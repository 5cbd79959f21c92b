#!/usr/bin/env python3
"""A complete installation from a local package (--skip-download): the finished page with the
launch and close buttons in place of install and cancel, then the launch button, which hands
ZENKA.exe to the desktop's shell (explorer.exe), so that it runs as the person at the desktop and not
with the setup's rights, with the target folder as working directory, and ends the setup.
Then the same with the way to the shell broken: a copy of the setup for which Wine disables
actxprxy.dll, which carries the proxies its requests to the shell's process travel through; the
launcher must still start, now from the setup itself.
    finish_and_launch.py PREFIX EXE PROBE_EXE
PROBE_EXE records its working directory, its command line and the image name of the process that
started it in launched.txt beside itself.
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
record = os.path.join(target, "launched.txt")
os.makedirs(os.path.join(source, "data"))
os.makedirs(target)
shutil.copy(probe, os.path.join(source, "ZENKA.exe"))
shutil.copy(probe, os.path.join(source, "zenka-updater.exe"))  # a package holds both programs
with open(os.path.join(source, "data", "readme.txt"), "w") as out:
    out.write("ZENKA\n")
# Wine's per-program DLL settings go by the exe's name, so only this copy loses the proxies.
no_shell_exe = os.path.join(work, "zenka_setup_noshell.exe")
shutil.copy(exe, no_shell_exe)
no_shell_key = "HKCU\\Software\\Wine\\AppDefaults\\zenka_setup_noshell.exe"


def wine_reg(*args):
    subprocess.run([g.WINE_RUN, prefix, "reg"] + list(args), check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def install(setup_exe):
    """Packs the folder into the target, runs the setup to its finished page and returns it."""
    subprocess.run([sys.executable, os.path.join(g.SOURCE_DIR, "tools", "make_package.py"), source,
                    os.path.join(target, "payload.zip")], check=True, stdout=subprocess.DEVNULL)
    setup = g.Setup(prefix, setup_exe, "--skip-download", "--target", g.windows_path(target))
    setup.attach()
    setup.click(333, 489)
    deadline = time.time() + 60
    finished = False
    while time.time() < deadline and not finished:
        time.sleep(0.3)
        finished = setup.pixel(g.Screenshot(), 300, 238) == g.CARD_BORDER  # the finished page's divider
    g.check(finished, "the finished page appears")
    time.sleep(0.5)
    return setup


def launch(setup):
    """Presses the launch button; what the started ZENKA.exe recorded, {} if it did not start."""
    if os.path.exists(record):
        os.remove(record)
    setup.click(345, 489)
    code = setup.exit_code(15)
    g.check(code == 0, "the launch button ends the setup with 0 (got %s)" % code)
    deadline = time.time() + 20
    while time.time() < deadline and not os.path.exists(record):
        time.sleep(0.2)
    g.check(os.path.exists(record), "ZENKA.exe was started")
    if not os.path.exists(record):
        return {}
    time.sleep(0.3)
    lines = dict(line.split("=", 1) for line in open(record, encoding="utf-8-sig").read().splitlines() if "=" in line)
    cwd = lines.get("cwd", "").rstrip("\\")
    g.check(cwd.lower() == g.windows_path(target).lower(), "working directory is the target folder (%r)" % cwd)
    g.check(lines.get("command", "").lower().find(g.windows_path(os.path.join(target, "ZENKA.exe")).lower()) >= 0,
            "started as %r" % lines.get("command"))
    return lines


setups = []
try:
    setups.append(install(exe))
    setup = setups[-1]
    screen = g.Screenshot()
    title = (setup.origin[0] + 90, setup.origin[1] + 24, setup.origin[0] + 632, setup.origin[1] + 52)
    g.check(screen.contains(*title, g.SUCCESS_GREEN), "the title is green")
    g.check(setup.pixel(screen, 333, 475) == g.BACKGROUND, "the install button is gone (x 328..337 is free)")
    g.check(setup.pixel(screen, 343, 475) == g.PRIMARY["normal"], "the launch button starts at x 338")
    g.check(setup.pixel(screen, 527, 475) == g.SECONDARY["normal"], "the close button sits where cancel was")
    g.check(os.path.isfile(os.path.join(target, "ZENKA.exe")), "ZENKA.exe was unpacked")
    g.check(os.path.isfile(os.path.join(target, "data", "readme.txt")), "data/readme.txt was unpacked")
    g.check(not os.path.exists(os.path.join(target, "payload.zip")), "payload.zip was removed")
    g.check(g.wait_for_settled_desktop_shell(prefix), "the desktop's shell runs")
    parent = launch(setup).get("parent", "")
    g.check(parent.lower() == "explorer.exe", "started by the desktop's shell, not by the setup (parent %r)" % parent)

    print("-- the way to the desktop's shell broken")
    wine_reg("add", no_shell_key + "\\DllOverrides", "/v", "actxprxy", "/d", "", "/f")
    setups.append(install(no_shell_exe))
    record_of_fallback = launch(setups[-1])
    # The setup may be gone by the time the launcher looks for its parent, so the name can be empty.
    parent = record_of_fallback.get("parent", "")
    g.check(record_of_fallback and parent.lower() != "explorer.exe",
            "started by the setup itself, not by the shell (parent %r)" % parent)
finally:
    for setup in setups:
        setup.kill()
    try:
        wine_reg("delete", no_shell_key, "/f")
    except subprocess.CalledProcessError:
        pass  # never added: the first part failed before
    shutil.rmtree(work, ignore_errors=True)
g.finish()
