#!/bin/sh
# Writes the seed files of fuzz_png into corpus/png/ with netpbm's pnmtopng: every colour type and bit depth,
# interlacing, and the chunks the reader looks at; then, made by hand, the ancillary chunks it skips.
set -e
out="$(dirname "$0")/corpus/png"
mkdir -p "$out"
gray() { printf 'P2 5 3 %s\n' "$1"; i=0; while [ $i -lt 15 ]; do echo $(( i * 7 % ($1 + 1) )); i=$((i + 1)); done; }
rgb() { printf 'P3 5 3 %s\n' "$1"; i=0; while [ $i -lt 15 ]; do echo $(( i * 37 % ($1 + 1) )) $(( i * 11 % ($1 + 1) )) $(( i * 5 % ($1 + 1) )); i=$((i + 1)); done; }
few() { printf 'P3 4 2 255\n'; i=0; while [ $i -lt 8 ]; do echo $(( i % $1 * 30 )) 0 $(( i % $1 * 15 )); i=$((i + 1)); done; }
gray 1 | pnmtopng > "$out/gray1.png"
gray 3 | pnmtopng -interlace > "$out/gray2-interlaced.png"
gray 15 | pnmtopng -transparent =rgb:77/77/77 -background rgb:33/33/33 > "$out/gray4-trns-bkgd.png"
gray 255 | pnmtopng -force -gamma 0.45455 -modtime "2020-01-01 10:00:00" > "$out/gray8-gama-time.png"
gray 65535 > "$out/.alpha.pgm"
gray 65535 | pnmtopng -alpha="$out/.alpha.pgm" > "$out/gray16-alpha.png"
rgb 255 | pnmtopng -force -transparent =rgb:00/00/00 > "$out/rgb8-trns.png"
rgb 65535 | pnmtopng -alpha="$out/.alpha.pgm" -background rgb:12/ff/00 -interlace > "$out/rgb16-alpha-bkgd-interlaced.png"
rm "$out/.alpha.pgm"
few 3 | pnmtopng -transparent =rgb:1e/00/0f -background rgb:3c/00/1e > "$out/palette2-trns-bkgd.png"
few 8 | pnmtopng > "$out/palette4.png"

# The ancillary chunks this reader skips or only reports, made byte by byte: text of the three kinds before
# and after the image data, a palette suggestion, calibration and scale chunks, and a text chunk that
# declares 2 GB in a 43-byte file.
python3 - "$out" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
def png(width, height, depth, color, rows, before=(), after=()):
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, color, 0, 0, 0))
    idat = chunk(b"IDAT", zlib.compress(b"".join(b"\0" + r for r in rows)))
    return b"\x89PNG\r\n\x1a\n" + ihdr + b"".join(before) + idat + b"".join(after) + chunk(b"IEND", b"")
gray = [bytes((x * 50 + y * 20) % 256 for x in range(5)) for y in range(3)]
rgb = [bytes(v for x in range(4) for v in (x * 60, y * 80, 200 - x * 40)) for y in range(2)]
plte = chunk(b"PLTE", bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255]))
indexed = [bytes([(x + y) % 4 for x in range(4)]) for y in range(2)]
seeds = {
    "gray8-text-ztxt-itxt.png": png(5, 3, 8, 0, gray, before=[
        chunk(b"tEXt", b"Title\0A laboratory frame"),
        chunk(b"zTXt", b"Comment\0\0" + zlib.compress(b"compressed comment " * 4)),
        chunk(b"iTXt", b"Author\0\0\0ru\0\xd0\x90\xd0\xb2\xd1\x82\xd0\xbe\xd1\x80\0\xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd"),
        chunk(b"iTXt", b"Description\0\1\0en\0\0" + zlib.compress(b"compressed international text"))],
        after=[chunk(b"tEXt", b"Software\0after the image data")]),
    "palette2-splt-hist-sbit-phys-offs.png": png(4, 2, 8, 3, indexed, before=[
        chunk(b"sBIT", b"\5\6\5"), plte, chunk(b"hIST", struct.pack(">4H", 3, 2, 2, 1)),
        chunk(b"sPLT", b"suggested\0\x08" + bytes([10, 20, 30, 255, 0, 5, 40, 50, 60, 128, 0, 1])),
        chunk(b"pHYs", struct.pack(">IIB", 3780, 3780, 1)), chunk(b"oFFs", struct.pack(">iiB", -5, 7, 0))]),
    "rgb8-chrm-iccp-pcal-scal-exif.png": png(4, 2, 8, 2, rgb, before=[
        chunk(b"gAMA", struct.pack(">I", 45455)),
        chunk(b"cHRM", struct.pack(">8I", 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000)),
        chunk(b"iCCP", b"profile\0\0" + zlib.compress(b"not really a profile")),
        chunk(b"pCAL", b"temperature\0" + struct.pack(">iiBB", 0, 255, 0, 2) + b"K\0" + b"0\0" + b"1.5"),
        chunk(b"sCAL", b"\1" + b"0.001\0" + b"0.002"), chunk(b"eXIf", b"MM\0*\0\0\0\x08\0\0"),
        chunk(b"tIME", struct.pack(">HBBBBB", 2020, 1, 2, 3, 4, 5))]),
    "text-declaring-2gb.png": png(1, 1, 8, 0, [b"\7"])[:33] + struct.pack(">I", 0x7FFFFFFF) + b"tEXtab",
}
for name, data in seeds.items():
    open(f"{out}/{name}", "wb").write(data)
PY
