#!/usr/bin/env python3
# Writes the seed tables of fuzz_bindata into corpus/bindata/, byte by byte from the file layout, and the
# seeds of fuzz_recordfilter (a query, then a table of the records viewer) into corpus/recordfilter/.
import os
import struct

CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
HERE = os.path.join(CORPUS, "bindata")
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
    record_filter_seeds()


# The records viewer's table: its fields in order, and records of (infection, supplier, patient, day, ms),
# also used by scripts/desktop-tour.
VIEWER_FIELDS = [(b"FNAME", 1, 40), (b"PROBA", 3, 0), (b"PROBANAME", 1, 8), (b"INFECT", 1, 20),
                 (b"POSTAV", 1, 20), (b"VALUE", 2, 0), (b"BOLN", 1, 20), (b"PRIM", 1, 30), (b"TOP", 2, 0),
                 (b"LEFT", 2, 0), (b"BUTTOM", 2, 0), (b"RIGHT", 2, 0), (b"DATES", 9, 0), (b"TIMES", 10, 0),
                 (b"REACT", 1, 1), (b"TOLERANCE", 2, 0)]


def viewer_record(infect, supplier, patient, day, ms, picture="pictures/1.bmp", probe=1):
    text = lambda value, size: value.encode("cp1251").ljust(size + 4, b"\0")
    return (0, text(picture, 40) + struct.pack("<i", probe) + text(str(probe), 8) + text(infect, 20)
            + text(supplier, 20) + struct.pack("<h", 1234) + text(patient, 20) + text("", 30)
            + struct.pack("<4h", 1, 2, 30, 40) + struct.pack("<ii", day, ms) + text("+", 1)
            + struct.pack("<h", 10))


def query(field, flags, bounds, text):
    encoded = text.encode("utf-8")
    return struct.pack("<BB4iB", field, flags, *bounds, len(encoded)) + encoded


def record_filter_seeds():
    out = os.path.join(CORPUS, "recordfilter")
    os.makedirs(out, exist_ok=True)
    records = [viewer_record("Грипп А", "Лаборатория", "Иванов", 738960, 49530000),
               viewer_record("грипп B", "Clinic", "Petrov", 738961, 3600000),
               viewer_record("Корь", "Лаборатория", "Сидоров", 738000, 86340000)]
    viewer = table(VIEWER_FIELDS, records)
    seeds = {
        "everything": query(0, 0, (0, 0, 0, 0), "") + viewer,
        "infection-dates": query(0, 2 | 4, (738960, 738961, 0, 0), "гр") + viewer,
        "supplier-case-times": query(1, 1 | 8 | 16, (0, 0, 3600000, 49500000), "Лаб") + viewer,
        "patient-deleted": query(2, 0, (0, 0, 0, 0), "P") + table(VIEWER_FIELDS, records[:2] + [(-1, records[2][1])],
                                                                 deleted=1, head=3),
        "no-viewer-fields": query(0, 0, (0, 0, 0, 0), "x") + table([(b"NAME", 1, 10)], [(0, b"one")]),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, name + ".seed"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
