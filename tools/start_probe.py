#!/usr/bin/env python3
"""Times one start of a Windows program under Wine, from the process start to its first painted
window, measured from outside and the same way for every program, so that the setup can be set
beside a bare window (tools/start_floor.cpp).

    start_probe.py PREFIX PROGRAM.exe [ARGS...]    prints seconds=S

The program must show a window of the setup's client size (660 x 530) centred on the screen of the
prefix's display. Three rows of pixels across the middle of that client area are read from the X
server about every millisecond (libX11 through ctypes: nothing to install) from just before `wine`
is started until they have not changed for a second. The figure is the first moment the rows
already showed what they show at the end: the window's finished first paint on the screen. The
program is then ended (its process group, as tools/wine-run ends one). A run whose rows never
changed (the window did not appear, or the screen already showed the same) is an error.
"""
import ctypes
import os
import signal
import subprocess
import sys
import time

CLIENT_WIDTH, CLIENT_HEIGHT = 660, 530
MARGIN = 40           # keeps the rows off the frame, wherever Wine puts the caption
SETTLED_SECONDS = 1.0 # unchanged this long: the window is finished
TIMEOUT_SECONDS = 30.0


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_char)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int)]  # the rest is not read


def main():
    prefix, program, args = sys.argv[1], sys.argv[2], sys.argv[3:]
    display_name = os.environ.get("DISPLAY") or open(os.path.join(prefix, ".display")).read().strip()
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XDisplayWidth.argtypes = x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XGetImage.restype = ctypes.POINTER(XImage)
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                              ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XFree.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(display_name.encode())
    if not display:
        sys.exit("start_probe: cannot open display %s" % display_name)
    root = x11.XDefaultRootWindow(display)
    left = (x11.XDisplayWidth(display, 0) - CLIENT_WIDTH) // 2 + MARGIN
    width = CLIENT_WIDTH - 2 * MARGIN
    middle = x11.XDisplayHeight(display, 0) // 2
    rows = [middle - CLIENT_HEIGHT // 4, middle, middle + CLIENT_HEIGHT // 4]

    def look():
        pixels = []
        for y in rows:
            image = x11.XGetImage(display, root, left, y, width, 1, 0xFFFFFFFF, 2)  # ZPixmap
            pixels.append(ctypes.string_at(image.contents.data, image.contents.bytes_per_line))
            x11.XFree(image.contents.data)
            x11.XFree(image)
        return b"".join(pixels)

    env = dict(os.environ, WINEPREFIX=os.path.realpath(prefix), WINEDEBUG="-all", DISPLAY=display_name,
               WINEDLLOVERRIDES="mscoree,mshtml=")
    before = look()
    seen = [(0.0, before)]
    start = time.monotonic()
    process = subprocess.Popen(["wine", program] + args, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        while True:
            now = time.monotonic() - start
            pixels = look()
            if pixels != seen[-1][1]:
                seen.append((now, pixels))
            elif len(seen) > 1 and now - seen[-1][0] >= SETTLED_SECONDS:
                break
            if now > TIMEOUT_SECONDS or process.poll() is not None:
                sys.exit("start_probe: %s showed no settled window (%d changes in %.1f s, exit %s)" %
                         (program, len(seen) - 1, now, process.poll()))
            time.sleep(0.0005)
    finally:
        try:
            os.killpg(process.pid, signal.SIGTERM)
            process.wait(timeout=5)
        except ProcessLookupError:
            pass
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
    final = seen[-1][1]
    if final == before:
        sys.exit("start_probe: the screen showed the same before %s started" % program)
    painted = next(t for t, pixels in seen if pixels == final)
    # Wait for the window to go, so that the next run starts from the bare screen again.
    deadline = time.monotonic() + 5
    while look() == final and time.monotonic() < deadline:
        time.sleep(0.01)
    print("seconds=%.4f changes=%d" % (painted, len(seen) - 1))


if __name__ == "__main__":
    main()
