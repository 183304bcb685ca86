#!/usr/bin/env python3
"""Writes the hand-made TIFF files of the reader tests: damaged files and the corner cases that the usual
writers never produce. Run it in this folder: python3 make-files.py"""
import struct

BYTE, ASCII, SHORT, LONG = 1, 2, 3, 4
DATA = 'data'  # a value that stands for the offset of the picture data


def build(entries, data=b'', order='<', link=0, cut=0, data_first=False):
    """Header, the out-of-line values, the directory, then the picture data (or the data first, so that the
    directory's link ends the file); cut bytes are taken off the end. Entries are
    (tag, type, count, value): an int stands in the value field, bytes go out of line, DATA is the offset of
    the data. link 'self' points the next-directory field back at its own directory."""
    e = order
    out = bytearray(b'II' if e == '<' else b'MM') + struct.pack(e + 'HI', 42, 0)
    data_offset = len(out)
    if data_first:
        out += data + b'\0' * (len(data) % 2)
    fields = []
    for tag, typ, count, value in entries:
        if isinstance(value, bytes):
            fields.append((tag, typ, count, len(out)))
            out += value + b'\0' * (len(value) % 2)
        else:
            fields.append((tag, typ, count, value))
    directory = len(out)
    out[4:8] = struct.pack(e + 'I', directory)
    out += struct.pack(e + 'H', len(fields))
    if not data_first:
        data_offset = directory + 2 + 12 * len(fields) + 4
    for tag, typ, count, value in fields:
        value = data_offset if value == DATA else value
        if typ == BYTE:
            field = struct.pack('B', value) + b'\0' * 3
        elif typ == SHORT and count == 1:
            field = struct.pack(e + 'H', value) + b'\0' * 2
        else:
            field = struct.pack(e + 'I', value)
        out += struct.pack(e + 'HHI', tag, typ, count) + field
    out += struct.pack(e + 'I', directory if link == 'self' else link)
    if not data_first:
        out += data
    return bytes(out[:len(out) - cut])


def shorts(values, order='<'):
    return b''.join(struct.pack(order + 'H', v) for v in values)


def picture(width, height, data, bits=8, photometric=1, compression=1, samples=1, rows=None, replace=None,
            drop=(), extra=(), **kw):
    """The entries of a one-strip picture, with tags replaced, dropped or added."""
    tags = {256: (LONG, 1, width), 257: (LONG, 1, height), 258: (SHORT, 1, bits), 259: (SHORT, 1, compression),
            262: (SHORT, 1, photometric), 273: (LONG, 1, DATA), 277: (SHORT, 1, samples),
            278: (LONG, 1, height if rows is None else rows), 279: (LONG, 1, len(data))}
    if samples > 1:
        tags[258] = (SHORT, samples, shorts([bits] * samples, kw.get('order', '<')))
    tags.update(replace or {})
    entries = [(t,) + v for t, v in sorted(tags.items()) if t not in drop]
    return build(sorted(entries + list(extra), key=lambda entry: entry[0]), data, **kw)


GREY = bytes(range(8))  # 4 x 2, 8 bits

FILES = {
    # The next-directory link points back at the directory itself.
    'loop.tif': picture(4, 2, GREY, link='self'),
    'link-past-end.tif': picture(4, 2, GREY, link=0x7FFFFFF0),
    # The file ends two bytes into the next-directory link.
    'link-cut.tif': picture(4, 2, GREY, cut=2, data_first=True),
    'strip-past-end.tif': picture(4, 2, GREY, replace={273: (LONG, 1, 100000)}),
    # A literal packet of 128 bytes of which three are in the file.
    'packbits-past-end.tif': picture(128, 1, bytes([0x7F, 1, 2, 3]), compression=32773),
    # Code bytes -128 up to the end of the file: each advances one byte, then the file ends.
    'packbits-noops.tif': picture(4, 1, bytes([0x80] * 64), compression=32773),
    # Rows 1 2 3 4 and 9 9 9 9 with skipped -128 codes between the packets.
    'packbits-noop.tif': picture(4, 2, bytes([0x80, 0x03, 1, 2, 3, 4, 0x80, 0x80, 0xFD, 9]), compression=32773),
    # A repeat of five in a row of four bytes, in row 1.
    'packbits-overrun.tif': picture(4, 2, bytes([0x03, 1, 2, 3, 4, 0xFC, 9]), compression=32773),
    'huge-count.tif': picture(4, 2, GREY, replace={279: (LONG, 1 << 30, 8)}),
    # RowsPerStrip 2^32 - 1, the format's default: one strip.
    'rows-default.tif': picture(4, 2, GREY, rows=0xFFFFFFFF),
    'width0.tif': picture(0, 2, GREY),
    # 2^31 - 1 pixels of CMYK in one row of a small file.
    'width-huge.tif': picture(0x7FFFFFFF, 1, GREY, photometric=5, samples=4),
    'length-huge.tif': picture(4, 0x80000000, GREY),
    'no-strips.tif': picture(4, 2, GREY, rows=1, drop=(273,)),
    'no-rows.tif': picture(4, 2, GREY, drop=(278,)),
    # Bilevel 8 x 2 without SamplesPerPixel and BitsPerSample: one sample of one bit.
    'no-samples.tif': picture(8, 2, bytes([0xF0, 0x0F]), drop=(258, 277)),
    'no-compression.tif': picture(4, 2, GREY, drop=(259,)),
    # One strip of 100 rows that claims 8 rows per strip.
    'rows8.tif': picture(4, 100, bytes(i % 256 for i in range(400)), rows=8),
    # C 200 K 100 (red 0); pure red; white.
    'cmyk.tif': picture(3, 1, bytes([200, 0, 0, 100, 0, 255, 255, 0, 0, 0, 0, 0]), photometric=5, samples=4),
    # ImageWidth twice: the last entry wins.
    'duplicate.tif': picture(4, 2, GREY, extra=[(256, LONG, 1, 4)], replace={256: (LONG, 1, 99)}),
    'colormap-short.tif': picture(4, 2, GREY, photometric=3, extra=[(320, SHORT, 2, 0x12345678)]),
    # 4-bit palette with a 768-value map: 16 entries kept, green and blue 256 values further on.
    'colormap-long.tif': picture(2, 1, bytes([0x0F]), bits=4, photometric=3,
                                 extra=[(320, SHORT, 768, shorts([i * 256 for i in range(256)] +
                                                                 [(255 - i) * 256 for i in range(256)] +
                                                                 [0x8000] * 256))]),
    # A 1-bit palette file is black and white: its map (red, green) is not used.
    'palette1.tif': picture(8, 1, bytes([0x0F]), bits=1, photometric=3,
                            extra=[(320, SHORT, 6, shorts([65535, 0, 0, 65535, 0, 0]))]),
    'field-type.tif': picture(4, 2, GREY, replace={256: (ASCII, 1, 4)}),
    'planar2.tif': picture(4, 2, GREY, extra=[(284, SHORT, 1, 2)]),
    # Big-endian SHORT values stand in the first two bytes of the field.
    'big-endian.tif': picture(4, 2, GREY, order='>', replace={256: (SHORT, 1, 4), 257: (SHORT, 1, 2)}),
}

for name, content in FILES.items():
    with open(name, 'wb') as f:
        f.write(content)
