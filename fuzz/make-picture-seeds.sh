#!/usr/bin/env bash
# Writes the seeds of fuzz_pnm, fuzz_pcx and fuzz_tga into corpus/: small pictures of every kind, made by
# netpbm from one 12 x 8 colour gradient.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 - "$tmp/photo.ppm" <<'PY'
import sys
w, h = 12, 8
pixels = bytes(v for y in range(h) for x in range(w) for v in (x * 21, y * 36, (x * y * 7) % 256))
open(sys.argv[1], "wb").write(b"P6\n%d %d\n255\n" % (w, h) + pixels)
PY
cd "$tmp"
ppmtopgm photo.ppm >gray.pgm
pgmtopbm -threshold gray.pgm >bitmap.pbm
pnmquant 16 photo.ppm 2>/dev/null >colors16.ppm
pnmquant 256 photo.ppm 2>/dev/null >colors256.ppm

mkdir -p "$here/corpus/pnm" "$here/corpus/pcx" "$here/corpus/tga"
cp photo.ppm "$here/corpus/pnm/p6.ppm"
cp gray.pgm "$here/corpus/pnm/p5.pgm"
cp bitmap.pbm "$here/corpus/pnm/p4.pbm"
pnmtoplainpnm photo.ppm >"$here/corpus/pnm/p3.ppm"
pnmtoplainpnm gray.pgm >"$here/corpus/pnm/p2.pgm"
pnmtoplainpnm bitmap.pbm >"$here/corpus/pnm/p1.pbm"

ppmtopcx -24bit photo.ppm 2>/dev/null >"$here/corpus/pcx/24bit.pcx"
ppmtopcx -8bit colors256.ppm 2>/dev/null >"$here/corpus/pcx/8bit.pcx"
ppmtopcx colors16.ppm 2>/dev/null >"$here/corpus/pcx/4planes.pcx"
ppmtopcx bitmap.pbm 2>/dev/null >"$here/corpus/pcx/1bit.pcx"

for rle in "" -norle; do
    name=${rle:+plain}; name=${name:-rle}
    pamtotga -rgb $rle photo.ppm >"$here/corpus/tga/rgb-$name.tga"
    pamtotga -mono $rle gray.pgm >"$here/corpus/tga/mono-$name.tga"
    pamtotga -cmap $rle colors256.ppm 2>/dev/null >"$here/corpus/tga/cmap-$name.tga"
done
