#!/usr/bin/env python3
"""Draws the launcher's icon and writes it as a Windows .ico file.

    sample/make_icon.py OUTPUT.ico

A white "Z" on a blue rounded square, at 16, 24, 32, 48 and 64 pixels, each a 32-bit image with
alpha, so the icon looks right on the desktop, in the Start menu and in the title bar.
"""
import struct
import sys

SIZES = (16, 24, 32, 48, 64)
BLUE = (0, 120, 212)
WHITE = (255, 255, 255)


def coverage(size, inside, samples=4):
    """Anti-aliased image: each pixel is the share of its sub-samples that `inside` accepts."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / size
                    v = (y + (sy + 0.5) / samples) / size
                    hits += inside(u, v)
            row.append(hits / (samples * samples))
        rows.append(row)
    return rows


def in_rounded_square(u, v, radius=0.2, margin=0.03):
    lo, hi = margin + radius, 1 - margin - radius
    dx = max(lo - u, 0, u - hi)
    dy = max(lo - v, 0, v - hi)
    return dx * dx + dy * dy <= radius * radius


def in_letter(u, v):
    left, right, top, bottom, bar = 0.25, 0.75, 0.24, 0.76, 0.12
    if not (left <= u <= right and top <= v <= bottom):
        return False
    if v <= top + bar or v >= bottom - bar:
        return True
    # The diagonal from the top bar's right end to the bottom bar's left end.
    t = (v - (top + bar)) / ((bottom - bar) - (top + bar))
    centre = right - t * (right - left)
    return abs(u - centre) <= bar * 0.75


def image(size):
    shape = coverage(size, in_rounded_square)
    letter = coverage(size, in_letter)
    pixels = bytearray()
    for y in reversed(range(size)):  # bitmaps are stored bottom-up
        for x in range(size):
            a, w = shape[y][x], letter[y][x]
            colour = [round(BLUE[i] * (1 - w) + WHITE[i] * w) for i in range(3)]
            pixels += bytes((colour[2], colour[1], colour[0], round(255 * a)))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels), 0, 0, 0, 0)
    mask_row = ((size + 31) // 32) * 4
    return header + bytes(pixels) + bytes(mask_row * size)  # the AND mask: alpha says it all


def write_ico(path):
    images = [image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as ico:
        ico.write(out)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        sys.exit(2)
    write_ico(sys.argv[1])
