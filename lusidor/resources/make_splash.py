#!/usr/bin/env python3
"""Writes JPG_1.jpg: the 400 x 262 splash picture of Lusidor, a pattern of light rings over a dark field
with the program's name drawn in a block font of our own.

Only the standard library and cjpeg (libjpeg-turbo-progs) are needed. Run it from this folder; the output
is committed, so the program's build does not need either.
"""

import math
import subprocess

WIDTH, HEIGHT = 400, 262

# 5 x 7 glyphs of the name, one string per row, "#" for a lit cell.
GLYPHS = {
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "I": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
}
NAME = "LUSIDOR"
CELL = 7  # pixels per glyph cell
GAP = 2   # cells between letters


def name_mask():
    """The set of lit pixels of the name, centred in the lower part of the picture."""
    text_width = (len(NAME) * (5 + GAP) - GAP) * CELL
    left = (WIDTH - text_width) // 2
    top = 170
    lit = set()
    for n, letter in enumerate(NAME):
        x0 = left + n * (5 + GAP) * CELL
        for row, line in enumerate(GLYPHS[letter]):
            for col, mark in enumerate(line):
                if mark == "#":
                    for y in range(CELL - 1):
                        for x in range(CELL - 1):
                            lit.add((x0 + col * CELL + x, top + row * CELL + y))
    return lit


def background(x, y):
    """Two sets of rings, as of light spreading from two points, over a blue-to-teal field."""
    d1 = math.hypot(x - 120, y - 95)
    d2 = math.hypot(x - 290, y - 70)
    wave = 0.5 + 0.25 * math.cos(d1 / 7.0) + 0.25 * math.cos(d2 / 9.0)
    fade = y / HEIGHT
    r = 20 + 60 * wave * (1 - fade)
    g = 40 + 120 * wave * (1 - 0.5 * fade)
    b = 90 + 140 * wave
    return r, g, b


def main():
    lit = name_mask()
    shadow = {(x + 3, y + 3) for (x, y) in lit}
    pixels = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if (x, y) in lit:
                r, g, b = 250, 236, 170
            elif (x, y) in shadow:
                r, g, b = 10, 20, 40
            else:
                r, g, b = background(x, y)
            pixels += bytes(max(0, min(255, int(c))) for c in (r, g, b))
    ppm = b"P6\n%d %d\n255\n" % (WIDTH, HEIGHT) + bytes(pixels)
    jpeg = subprocess.run(["cjpeg", "-quality", "92", "-optimize"], input=ppm, capture_output=True,
                          check=True).stdout
    with open("JPG_1.jpg", "wb") as out:
        out.write(jpeg)


if __name__ == "__main__":
    main()
