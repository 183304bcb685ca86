#!/usr/bin/env python3
# Writes the seed files of fuzz_jpeg into corpus/jpeg/: small pictures encoded by cjpeg in the variants the
# reader must handle (baseline, progressive, grey, sampling, restart markers, optimized tables, a cut file).
import os
import subprocess

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "jpeg")
WIDTH, HEIGHT = 23, 17


def photo(channels):
    pixels = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            rgb = ((x * 11) % 256, (y * 15) % 256, ((x + y) * 5 + (40 if (x - 12) ** 2 + (y - 8) ** 2 < 30 else 0)) % 256)
            pixels += bytes(rgb[:channels])
    return b"P%d\n%d %d\n255\n" % (6 if channels == 3 else 5, WIDTH, HEIGHT) + bytes(pixels)


def cjpeg(picture, *args):
    return subprocess.run(["cjpeg", *args], input=picture, capture_output=True, check=True).stdout


def main():
    os.makedirs(HERE, exist_ok=True)
    color, gray = photo(3), photo(1)
    seeds = {
        "baseline": cjpeg(color),
        "progressive": cjpeg(color, "-progressive"),
        "gray": cjpeg(gray),
        "gray-progressive": cjpeg(gray, "-progressive"),
        "sample-1x1": cjpeg(color, "-sample", "1x1"),
        "sample-2x1": cjpeg(color, "-sample", "2x1"),
        "restart": cjpeg(color, "-restart", "1"),
        "optimize": cjpeg(color, "-optimize"),
        "rgb": cjpeg(color, "-rgb"),
    }
    seeds["cut"] = seeds["baseline"][: len(seeds["baseline"]) * 3 // 4]
    for name, data in seeds.items():
        with open(os.path.join(HERE, name + ".jpg"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
