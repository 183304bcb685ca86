#!/bin/sh
# Writes the seed files of fuzz_png into corpus/png/ with netpbm's pnmtopng: every colour type and bit depth,
# interlacing, and the chunks the reader looks at.
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
