#!/usr/bin/env python3
"""Draws the setup's icon and writes it as a Windows .ico file.

    res/make_icon.py OUTPUT.ico

One 256 x 256 image, 32 bits per pixel with alpha, stored as a PNG frame: Windows reads PNG frames
in icons since Vista, and as a DIB the same pixels would take 260 KB of the exe. The picture: a rounded square in the accent blue, a lighter band across its
top, and a white "Z" whose diagonal is a lightning-like stroke. Edges are anti-aliased from
signed distances, so the output is the same on every run.
"""
import math
import struct
import sys
import zlib

SIZE = 256


def rounded_square_distance(x, y, inset, radius):
    # Signed distance to a square [inset, SIZE - inset] with rounded corners (negative inside).
    half = SIZE / 2 - inset
    qx = abs(x - SIZE / 2) - (half - radius)
    qy = abs(y - SIZE / 2) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def polygon_distance(x, y, points):
    # Signed distance to a simple polygon (negative inside), by edges and the even-odd rule.
    best = float("inf")
    inside = False
    count = len(points)
    for i in range(count):
        ax, ay = points[i]
        bx, by = points[(i + 1) % count]
        ex, ey = bx - ax, by - ay
        wx, wy = x - ax, y - ay
        t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
        best = min(best, math.hypot(wx - ex * t, wy - ey * t))
        if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
            inside = not inside
    return -best if inside else best


# The "Z": top bar, diagonal, bottom bar, as one outline.
LETTER = [
    (70, 62), (188, 62), (188, 96), (118, 164), (192, 164), (192, 196),
    (64, 196), (64, 164), (136, 96), (70, 96),
]


def coverage(distance):
    return max(0.0, min(1.0, 0.5 - distance))


def blend(under, over, alpha):
    return tuple(u + (o - u) * alpha for u, o in zip(under, over))


def pixel(x, y):
    cx, cy = x + 0.5, y + 0.5
    body = coverage(rounded_square_distance(cx, cy, 8, 48))
    if body == 0.0:
        return (0, 0, 0, 0)
    # Accent blue, lighter toward the top.
    shade = cy / SIZE
    colour = (16 + 10 * (1 - shade), 132 - 20 * shade, 232 - 30 * shade)
    letter = coverage(polygon_distance(cx, cy, LETTER))
    colour = blend(colour, (255, 255, 255), letter)
    return tuple(int(round(c)) for c in colour) + (int(round(255 * body)),)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def paeth(left, up, up_left):
    estimate = left + up - up_left
    a, b, c = abs(estimate - left), abs(estimate - up), abs(estimate - up_left)
    if a <= b and a <= c:
        return left
    return up if b <= c else up_left


def filtered(row, previous, kind):
    # One PNG filter (0 none, 1 sub, 2 up, 3 average, 4 Paeth) over a row of 4-byte pixels.
    out = bytearray(len(row))
    for i, value in enumerate(row):
        left = row[i - 4] if i >= 4 else 0
        up = previous[i]
        up_left = previous[i - 4] if i >= 4 else 0
        predictor = (0, left, up, (left + up) // 2, paeth(left, up, up_left))[kind]
        out[i] = (value - predictor) & 0xFF
    return bytes((kind,)) + bytes(out)


def png_bytes():
    # Top-down rows of RGBA. Every row takes the filter that leaves the smallest sum of signed
    # residues, the usual heuristic; all of it is a fixed function of the picture, so the file is.
    previous = bytes(SIZE * 4)
    scanlines = []
    for y in range(SIZE):
        row = bytes(channel for x in range(SIZE) for channel in pixel(x, y))
        candidates = [filtered(row, previous, kind) for kind in range(5)]
        scanlines.append(min(candidates, key=lambda line: sum(v if v < 128 else 256 - v for v in line[1:])))
        previous = row
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8 bits per channel, RGBA
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(b"".join(scanlines), 9)) + png_chunk(b"IEND", b""))


def icon_bytes():
    image = png_bytes()
    directory = struct.pack("<HHH", 0, 1, 1)
    # Width and height 0 stand for 256.
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(icon_bytes())


if __name__ == "__main__":
    main()
