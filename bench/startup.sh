#!/usr/bin/env bash
# Whole-process cost of one conversion of every kind of picture people
# save (each PNG colour type and depth, with and without tRNS, interlaced
# or not; every BMP depth and compression; TGA of each depth; raw and plain
# netpbm of several maximums; PAM), made by ImageMagick, Pillow, ffmpeg and
# netpbm from the example at 64 x 128 and from a sheet of 256 glyphs at
# 128 x 128, and of glyphsheet writing each format of both. Each is counted
# in instructions by callgrind (counts, not seconds, so they repeat on a
# busy machine) against cp copying the same input, or at 128 x 128 a
# 2048-byte font, and, for a PNG, against a program that only inflates its
# image data, the floor no PNG reader goes under; glyphcut on a picture 32
# times that sheet, a pixel against glyphrip on the sheet; and glyphcut's
# peak memory at the limit. Each must give its font and meet its target,
# or the run fails. Where hyperfine is installed, wall
# time over many runs too.
# Usage: bench/startup.sh [build directory]
# (cmake --workflow --preset bench builds the tools, the empty program and
# the floor, and runs this.)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build/bench}")
[ -x "$build/glyphrip" ] && [ -x "$build/glyphsheet" ] && [ -x "$build/glyphcut" ] && [ -x "$build/bench/empty" ] &&
  [ -x "$build/bench/inflate" ] ||
  cmake --workflow --preset bench >/dev/null
for tool in valgrind convert ffmpeg pamtopnm; do
  command -v $tool >/dev/null || { echo "bench: needs $tool (Debian: valgrind imagemagick ffmpeg netpbm)" >&2; exit 1; }
done
python=/usr/bin/python3 # Debian's, with Debian's Pillow (python3-pil)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The fonts: the example's, and 256 glyphs, the example's and the same
# mirrored.
cp "$root/examples/font.raw" font-64x128.raw
"$python" -c '
import sys
font = open("font-64x128.raw", "rb").read()
sys.stdout.buffer.write(font + bytes(int(f"{b:08b}"[::-1], 2) for b in font))' >font-128x128.raw
"$build/glyphsheet" font-128x128.raw sheet-128x128.bmp
cp "$root/examples/sheet.bmp" sheet-64x128.bmp

# kinds size: the sheet of that size saved as each kind, in a directory of
# that name.
kinds() {
  mkdir "$1" && cd "$1"
  convert "../sheet-$1.bmp" drawing.png
  cp "../sheet-$1.bmp" bmp-1.bmp
  # From a one-bit picture ImageMagick 6 writes 16-bit grey wrongly; from a
  # 48-bit one it writes every 16-bit kind right.
  convert drawing.png -depth 16 -type TrueColor PNG48:deep.png
  for pair in 0-1 0-2 0-4 0-8 0-16 2-8 2-16 3-1 3-2 3-4 3-8 4-8 4-16 6-8 6-16; do
    source=drawing.png
    [ "${pair#*-}" = 16 ] && source=deep.png
    for interlace in None PNG; do
      convert $source -interlace $interlace -define png:color-type=${pair%-*} -define png:bit-depth=${pair#*-} \
        PNG:png-$pair${interlace/None/}.png
    done
  done
  rm deep.png
  convert drawing.png -transparent white PNG32:png-6-8-transparent-paper.png
  convert drawing.png -interlace PNG -transparent white PNG32:png-6-8PNG-transparent-paper.png
  "$python" - <<'PY'
from PIL import Image
im = Image.open("drawing.png")
im.convert("L").save("png-0-8-trns.png", transparency=255)
im.convert("RGB").save("png-2-8-trns.png", transparency=(255, 255, 255))
im.convert("P").save("png-3-8-trns.png", transparency=255)
im.convert("RGB").save("tga-pillow-24.tga")
im.convert("RGBA").save("tga-pillow-32.tga")
im.convert("L").save("tga-pillow-grey.tga")
im.convert("P").save("tga-pillow-mapped.tga")
im.convert("RGB").save("tga-pillow-24-rle.tga", compression="tga_rle")
# RLE4 as GIMP writes it: a run of each colour, two pixels to a byte, then
# the end of the row, and of the picture.
w, h = im.size
rows = b""
pixels = im.convert("L").load()
for y in reversed(range(h)):
    x = 0
    while x < w:
        n = 1
        while x + n < w and n < 254 and pixels[x + n, y] == pixels[x, y]:
            n += 1
        i = 1 if pixels[x, y] < 128 else 0
        rows += bytes([n, i * 17])
        x += n
    rows += b"\0\0"
rows += b"\0\1"
table = bytes([255, 255, 255, 0, 0, 0, 0, 0]) + bytes(14 * 4)
header = (40).to_bytes(4, "little") + w.to_bytes(4, "little") + h.to_bytes(4, "little") + (1).to_bytes(2, "little") \
    + (4).to_bytes(2, "little") + (2).to_bytes(4, "little") + len(rows).to_bytes(4, "little") + bytes(16)
offset = 14 + 40 + len(table)
open("bmp-4-rle.bmp", "wb").write(b"BM" + (offset + len(rows)).to_bytes(4, "little") + bytes(4)
                                  + offset.to_bytes(4, "little") + header + table + rows)
PY
  ffmpeg -loglevel error -i drawing.png -pix_fmt pal8 bmp-8.bmp
  convert drawing.png -type Palette -compress RLE BMP3:bmp-8-rle.bmp
  pngtopnm drawing.png | ppmtobmp -bpp 4 >bmp-4.bmp 2>/dev/null
  convert drawing.png -type TrueColor -define bmp:subtype=RGB565 bmp-16-565.bmp
  convert drawing.png -type TrueColor -define bmp:subtype=RGB555 bmp-16-555.bmp
  convert drawing.png -type TrueColor bmp-24.bmp
  convert drawing.png -type TrueColorAlpha bmp-32-alpha.bmp
  ffmpeg -loglevel error -i drawing.png -pix_fmt bgra bmp-32-ffmpeg.bmp
  ffmpeg -loglevel error -i drawing.png -pix_fmt bgr24 tga-ffmpeg-24-rle.tga
  ffmpeg -loglevel error -i drawing.png -pix_fmt rgb555le tga-ffmpeg-16-rle.tga
  ffmpeg -loglevel error -i drawing.png -pix_fmt rgb555le -rle 0 tga-ffmpeg-16.tga
  for kind in pbm pgm ppm; do
    convert drawing.png "${kind^^}:raw.$kind"
    convert drawing.png -depth 16 "${kind^^}:raw-16.$kind"
    convert drawing.png -compress none "${kind^^}:plain.$kind"
  done
  rm raw-16.pbm
  pngtopnm drawing.png | pamdepth 15 >raw-15.pgm 2>/dev/null
  pngtopnm drawing.png | pgmtoppm white | pamdepth 1000 >raw-1000.ppm 2>/dev/null
  convert drawing.png -type TrueColor pam-rgb.pam
  convert drawing.png -type GrayscaleAlpha pam-grey-alpha.pam
  convert drawing.png -type TrueColorAlpha pam-rgba.pam
  rm drawing.png
  cd ..
}
kinds 64x128
kinds 128x128

instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : *//p'
}
ratio() { "$python" -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.3f}')" "$1" "$2"; }
within() { "$python" -c "import sys; sys.exit(float(sys.argv[1]) > float(sys.argv[2]))" "$1" "$2"; }

missed=0
nothing=$(instructions "$build/bench/empty")
font_cp=$(instructions cp font-128x128.raw copy)
echo "instructions (callgrind), one whole process; empty program: $nothing; cp of a 2048-byte font: $font_cp"
printf '  %-44s %9s %9s %7s %9s %8s  %s\n' picture glyphrip cp "/ cp" floor "/ floor" target
# measure picture target-kind target: glyphrip on the picture, which must
# give its size's font, against cp (of the same file at 64 x 128, of a
# 2048-byte font at 128 x 128) or against the floor
measure() {
  local ours cps floor="" against shown size=${1%%/*}
  rm -f font.raw
  ours=$(instructions "$build/glyphrip" "$1" font.raw)
  cmp -s font.raw "font-$size.raw" || { echo "bench: $1 does not give its font" >&2; exit 1; }
  cps=$font_cp
  [ "$size" = 64x128 ] && cps=$(instructions cp "$1" copy)
  against=$cps
  if [ "$2" = floor ]; then
    floor=$(instructions "$build/bench/inflate" "$1")
    against=$floor
  fi
  shown=$(ratio "$ours" "$against")
  printf '  %-44s %9d %9d %7s %9s %8s  %s x %s' "$1" "$ours" "$cps" "$(ratio "$ours" "$cps")" "${floor:--}" \
    "${floor:+$(ratio "$ours" "$floor")}" "$3" "$2"
  if within "$shown" "$3"; then echo; else echo "   MISSED"; missed=$((missed + 1)); fi
}
# The kinds added with the 128 x 128 sheet, and their target at both sizes.
new_kind() { case ${1##*/} in bmp-4-rle.bmp | tga-ffmpeg-16*.tga | raw-15.pgm | raw-1000.ppm) return 0 ;; esac; return 1; }
for size in 64x128 128x128; do
  raster=0.5 plain=1.0
  [ $size = 128x128 ] && raster=0.75 plain=1.5
  for f in $size/png-*.png; do measure "$f" floor 1.5; done
  for f in $size/bmp-*.bmp $size/tga-*.tga $size/raw*.p?m $size/pam-*.pam; do
    if new_kind "$f"; then measure "$f" cp 1.0; else measure "$f" cp $raster; fi
  done
  for f in $size/plain.p?m; do measure "$f" cp $plain; done
  cps=$(instructions cp "font-$size.raw" copy)
  for ending in bmp png pbm pgm ppm; do
    rm -f "sheet.$ending"
    ours=$(instructions "$build/glyphsheet" "font-$size.raw" "sheet.$ending")
    "$build/glyphrip" "sheet.$ending" back.raw && cmp -s back.raw "font-$size.raw" ||
      { echo "bench: glyphsheet's .$ending does not give the font back" >&2; exit 1; }
    printf '  %-44s %9d %9d %7s %9s %8s  0.5 x cp' "glyphsheet $size to .$ending" "$ours" "$cps" "$(ratio "$ours" "$cps")" - ""
    if within "$(ratio "$ours" "$cps")" 0.5; then echo; else echo "   MISSED"; missed=$((missed + 1)); fi
  done
done

# glyphcut on a picture 32 times a 128 x 128 sheet, 1024 x 512, the sheet
# drawn 8 times across and 4 down, told its cells: its cost less an empty
# program's, a pixel, must be no more than glyphrip's on the sheet saved the
# same way, and for a PNG, above its floor, no more than glyphrip's above
# its own. The font is 8192 glyphs, each the sheet's glyph in its place.
convert sheet-128x128.bmp -write mpr:sheet +delete -size 1024x512 tile:mpr:sheet -type TrueColor big-24.bmp
"$python" -c '
from PIL import Image
Image.open("big-24.bmp").convert("RGB").save("big-24.tga")'
convert big-24.bmp PPM:big.ppm
convert big-24.bmp -define png:color-type=2 -define png:bit-depth=8 PNG:big-2-8.png
"$python" -c '
import sys
font = open("font-128x128.raw", "rb").read()
out = bytearray()
for n in range(8192):
    column, row = n % 128, n // 128
    out += font[8 * (row % 16 * 16 + column % 16):][:8]
sys.stdout.buffer.write(out)' >font-big.raw
pixels=$((1024 * 512))
per_pixel() { "$python" -c "import sys; print(f'{(float(sys.argv[1]) - float(sys.argv[2])) / float(sys.argv[3]):.2f}')" "$@"; }
printf '  %-44s %9s %9s %9s  %s\n' "glyphcut --cell 8x8, 1024 x 512" instr "/ pixel" "sheet's" "(less an empty program, or the floor)"
for pair in big-24.bmp:128x128/bmp-24.bmp big-24.tga:128x128/tga-pillow-24.tga big.ppm:128x128/raw.ppm \
  big-2-8.png:128x128/png-2-8.png; do
  big=${pair%%:*} sheet=${pair#*:}
  rm -f font.raw
  ours=$(instructions "$build/glyphcut" --cell 8x8 "$big" font.raw)
  cmp -s font.raw font-big.raw || { echo "bench: glyphcut on $big does not give its font" >&2; exit 1; }
  base=$nothing sheet_base=$nothing
  if [ "${big##*.}" = png ]; then
    base=$(instructions "$build/bench/inflate" "$big")
    sheet_base=$(instructions "$build/bench/inflate" "$sheet")
  fi
  mine=$(per_pixel "$ours" "$base" "$pixels")
  theirs=$(per_pixel "$(instructions "$build/glyphrip" "$sheet" font.raw)" "$sheet_base" 16384)
  printf '  %-44s %9d %9s %9s' "$big" "$ours" "$mine" "$theirs"
  if within "$mine" "$theirs"; then echo; else echo "   MISSED"; missed=$((missed + 1)); fi
done

# Peak memory under 32 MB at the limit: a PNG of 4096 x 1024 pixels cut
# into 65536 cells of 1 x 32, their font written as C source.
convert -size 4096x1024 pattern:checkerboard -type TrueColor PNG:limit.png
peak=$("$python" -c '
import resource, subprocess, sys
subprocess.run(sys.argv[1:], check=True)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024)' \
  "$build/glyphcut" --cell 1x32 --count 65536 --ink dark limit.png limit.h)
printf '  %-44s %6s MB   under 32 MB' "glyphcut, 4096 x 1024 PNG to 2 MiB as C" "$peak"
if [ "$peak" -lt 32 ]; then echo; else echo "   MISSED"; missed=$((missed + 1)); fi

for tool in glyphrip glyphsheet glyphcut; do
  printf '  %-10s loads: %s\n' "$tool" "$(ldd "$build/$tool" | awk '{print $1}' | tr '\n' ' ')"
done

if command -v hyperfine >/dev/null; then
  hyperfine -N --warmup 100 --runs 2000 --export-json times.json \
    "$build/glyphrip 64x128/bmp-1.bmp font.raw" "$build/glyphsheet font-64x128.raw sheet.png" \
    "$build/glyphrip 64x128/png-2-8.png font.raw" "$build/glyphrip 128x128/png-2-8.png font.raw" \
    "cp 64x128/bmp-1.bmp copy.bmp" "cp font-64x128.raw copy.raw" "cp 64x128/png-2-8.png copy.png" \
    "cp 128x128/png-2-8.png copy.png" "$build/bench/empty" >/dev/null 2>&1
  "$python" - times.json <<'PY'
import json, sys
rip, sheet, png, png128, cp_sheet, cp_font, cp_png, cp_png128, empty = (
    r["mean"] for r in json.load(open(sys.argv[1]))["results"])
print("wall time (hyperfine, mean of 2000 runs)")
for name, t, cp in (("glyphrip", rip, cp_sheet), ("glyphsheet", sheet, cp_font), ("glyphrip PNG", png, cp_png),
                    ("  128 x 128", png128, cp_png128)):
    print(f"  {name:12} {t * 1e6:6.0f} us   cp {cp * 1e6:6.0f} us   / cp {t / cp:.3f}   / empty {t / empty:.3f}")
print(f"  empty        {empty * 1e6:6.0f} us")
PY
else
  echo "wall time: hyperfine is not installed (Debian: apt-get install hyperfine)"
fi
[ "$missed" -eq 0 ] || { echo "bench: $missed targets missed" >&2; exit 1; }
