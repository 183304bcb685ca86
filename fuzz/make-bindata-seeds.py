#!/usr/bin/env python3
# Writes the seed tables of fuzz_bindata into corpus/bindata/, byte by byte from the file layout.
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "bindata")
SLOTS = {1: None, 2: 2, 3: 4, 4: 2, 5: 2, 6: 8, 7: 8, 9: 4, 10: 4, 11: 8}


def table(fields, records=(), live=None, deleted=0, head=-1):
    widths = [size + 4 if kind == 1 else SLOTS[kind] for _, kind, size in fields]
    record_size = 4 + sum(widths)
    live = len(records) - deleted if live is None else live
    data = b"BDS\x1a" + struct.pack("<8i", 13, record_size, live, len(fields), -1, head, deleted,
                                    36 + 41 * len(fields))
    for (name, kind, size), width in zip(fields, widths):
        data += name.ljust(28, b"\0") + struct.pack("<B3i", kind, width, size, 0)
    for link, slots in records:
        data += struct.pack("<i", link) + slots.ljust(record_size - 4, b"\0")
    return data


def main():
    os.makedirs(HERE, exist_ok=True)
    small = [(b"NAME", 1, 10), (b"N", 3, 0)]
    seeds = {
        "empty": table(small),
        "deleted": table(small, [(0, b"one"), (-1, b"two"), (2, b"three"), (0, b"four")], deleted=2, head=3),
        "uncounted": table(small, [(0, b"one"), (0, b"two")], live=1) + b"part",
        "types": table([(b"S", 1, 3), (b"SI", 2, 0), (b"I", 3, 0), (b"W", 4, 0), (b"B", 5, 0), (b"F", 6, 0),
                        (b"C", 7, 0), (b"D", 9, 0), (b"T", 10, 0), (b"DT", 11, 0)],
                       [(0, b"\xcf\xf0\xee\0\0\0\0\xfe\xff" + struct.pack("<i", 7) + b"\xff\xff\xff\xff"
                         + struct.pack("<dd", 2.5, -1.0) + struct.pack("<ii", 738960, 49530000)
                         + struct.pack("<d", 86401000.0))]),
    }
    for name, data in seeds.items():
        with open(os.path.join(HERE, name + ".dat"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
