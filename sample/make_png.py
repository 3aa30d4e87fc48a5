#!/usr/bin/python3
"""Draws the sample's one raster image, a lighthouse at dusk (240 x 160,
RGB), and writes it as a PNG with the standard library only.

Usage: make_png.py OUTPUT.png
"""

import struct
import sys
import zlib

WIDTH, HEIGHT = 240, 160


def pixel(x, y):
    horizon = 112
    # The beam: a pale wedge from the lamp towards the left.
    lamp_x, lamp_y = 168, 52
    if x < lamp_x and y < horizon and abs((y - lamp_y) * 4) <= (lamp_x - x):
        return (250, 236, 170)
    # The tower: a tapering white column with two red bands, and its lamp.
    half = 10 + (y - 50) // 10
    if 50 <= y < 118 and abs(x - lamp_x) <= half:
        return (200, 40, 40) if 70 <= y < 78 or 94 <= y < 102 else (245, 245, 240)
    if 40 <= y < 50 and abs(x - lamp_x) <= 7:
        return (255, 214, 90)
    if 36 <= y < 40 and abs(x - lamp_x) <= 9:
        return (40, 40, 50)
    # The rock under the tower, the sea, and the dusk sky.
    if y >= 112 and (x - lamp_x) ** 2 // 4 + (y - 128) ** 2 <= 320:
        return (70, 64, 60)
    if y >= horizon:
        shade = (y - horizon) * 2
        return (30, 70 + shade // 3, 120 + shade // 2)
    t = y * 255 // horizon
    return (40 + t * 3 // 5, 50 + t // 3, 110 + t // 4)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def main():
    rows = b"".join(b"\0" + bytes(c for x in range(WIDTH) for c in pixel(x, y))
                    for y in range(HEIGHT))
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(rows, 9))
           + chunk(b"IEND", b""))
    with open(sys.argv[1], "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
