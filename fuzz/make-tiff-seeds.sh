#!/bin/sh
# Writes the TIFF fuzzing seeds into corpus/tiff: small files of pnmtotiff and tiffcp in every kind the
# reader knows and a few it refuses, plus the hand-made damaged files of the reader's tests.
set -e
cd "$(dirname "$0")"
out=corpus/tiff
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
pgmramp -diagonal 7 5 > "$tmp/grey.pgm"
pgmramp -lr 7 5 | pnmdepth 15 > "$tmp/grey4.pgm"
pgmramp -lr 7 5 | pamthreshold | pamtopnm > "$tmp/bilevel.pbm"
ppmpat -g2 -color=rgb:ff/00/00,rgb:00/00/ff 7 5 > "$tmp/colour.ppm"
ppmpat -g2 -color=rgb:ff/00/00,rgb:00/00/ff 7 5 | pnmquant 12 > "$tmp/palette.ppm"
pnmtotiff "$tmp/bilevel.pbm" > "$out/bilevel.tif"
pnmtotiff -miniswhite -packbits "$tmp/bilevel.pbm" > "$out/bilevel-white-packbits.tif"
pnmtotiff "$tmp/grey4.pgm" > "$out/grey4.tif"
pnmtotiff -rowsperstrip=2 "$tmp/grey.pgm" > "$out/grey-strips.tif"
pnmtotiff -packbits "$tmp/colour.ppm" > "$out/rgb-packbits.tif"
pnmtotiff -color "$tmp/palette.ppm" > "$out/palette8.tif"
pnmtotiff -indexbits=4 -packbits "$tmp/palette.ppm" > "$out/palette4-packbits.tif"
tiffcp -B -r 1 "$out/rgb-packbits.tif" "$out/rgb-big-endian.tif"
tiffcp "$out/grey-strips.tif" "$out/rgb-packbits.tif" "$out/two-directories.tif"
tiffcp -c lzw "$out/grey-strips.tif" "$out/lzw.tif"
for f in cmyk no-samples packbits-noop loop rows8 colormap-long; do
    cp "../image-library/tests/data/tiff/$f.tif" "$out/made-$f.tif"
done
