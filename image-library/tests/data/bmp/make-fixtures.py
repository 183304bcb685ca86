#!/usr/bin/env python3
"""Builds the BMP fixtures that ppmtobmp cannot make: run-length (RLE8, RLE4), top-down, 32-bit and 16-bit
bit-field files. Usage: make-fixtures.py [output folder], by default the folder of this script."""
import os
import struct
import sys


def file_header(dib_header_and_table, pixels):
    offset = 14 + len(dib_header_and_table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)


def info_header(width, height, bits, compression=0, size_image=0, colors=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, size_image, 0, 0, colors, 0)


def bmp(width, height, bits, table=b"", pixels=b"", compression=0, masks=b"", colors=0):
    head = info_header(width, height, bits, compression, len(pixels) if compression in (1, 2) else 0, colors)
    head += masks + table
    return file_header(head, pixels) + head + pixels


def gray_table(n):
    return b"".join(bytes((i * 255 // (n - 1),) * 3 + (0,)) for i in range(n))


def color_table(n):
    return b"".join(bytes(((i * 37) % 256, (i * 91) % 256, (i * 13 + 40) % 256, 0)) for i in range(n))


def pad(row):
    return row + b"\0" * (-len(row) % 4)


def rle_rows(rows, four_bit):
    """Encodes rows (bottom row first) with encoded runs, absolute runs, end of line and end of bitmap."""
    out = bytearray()
    for row in rows:
        x = 0
        while x < len(row):
            n = 1
            while x + n < len(row) and n < 255 and row[x + n] == row[x]:
                n += 1
            if n >= 2 or len(row) - x < 3:
                value = row[x] * 17 if four_bit else row[x]
                out += bytes((n, value))
                x += n
                continue
            n = 3
            while x + n < len(row) and n < 255 and row[x + n] != row[x + n - 1]:
                n += 1
            run = row[x:x + n]
            if four_bit:
                data = bytes((run[i] << 4) | (run[i + 1] if i + 1 < n else 0) for i in range(0, n, 2))
            else:
                data = bytes(run)
            out += bytes((0, n)) + data + (b"\0" if len(data) % 2 else b"")
            x += n
        out += b"\0\0"
    return bytes(out + b"\0\1")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(folder, exist_ok=True)
    files = {}

    w, h = 13, 7
    rows8 = [[(x // 3 + y * 5) % 256 if x < 6 else (x * 29 + y * 7) % 256 for x in range(w)] for y in range(h)]
    files["rle8.bmp"] = bmp(w, h, 8, color_table(256), rle_rows(rows8, False), compression=1)
    rows4 = [[(x // 4 + y) % 16 if x < 5 else (x * 7 + y * 3) % 16 for x in range(w)] for y in range(h)]
    files["rle4.bmp"] = bmp(w, h, 4, color_table(16), rle_rows(rows4, True), compression=2)

    w, h = 5, 3
    rows24 = [pad(bytes(v for x in range(w) for v in (x * 50, y * 100, 255 - x * 40))) for y in range(h)]
    files["topdown24.bmp"] = bmp(w, -h, 24, pixels=b"".join(rows24))
    rows8 = [pad(bytes((x * 40 + y * 3) % 256 for x in range(w))) for y in range(h)]
    files["topdown8.bmp"] = bmp(w, -h, 8, gray_table(256), b"".join(rows8))
    rows32 = [bytes(v for x in range(w) for v in (x * 60, y * 120, 200 - x * 30, 0)) for y in range(h)]
    files["rgb32.bmp"] = bmp(w, h, 32, pixels=b"".join(rows32))

    w, h = 9, 4
    for name, masks, widths in (("bitfields555.bmp", (0x7C00, 0x03E0, 0x001F), (5, 5, 5)),
                                ("bitfields565.bmp", (0xF800, 0x07E0, 0x001F), (5, 6, 5))):
        rows = []
        for y in range(h):
            row = b""
            for x in range(w):
                fields = ((x * 4 + y) % (1 << widths[0]), (x * 7 + y * 3) % (1 << widths[1]), (31 - x * 3 - y) % 32)
                value = (fields[0] << (widths[1] + widths[2])) | (fields[1] << widths[2]) | fields[2]
                row += struct.pack("<H", value)
            rows.append(pad(row))
        files[name] = bmp(w, h, 16, pixels=b"".join(rows), compression=3, masks=struct.pack("<III", *masks))

    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
