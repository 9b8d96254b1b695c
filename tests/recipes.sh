#!/usr/bin/env bash
# Saves one drawing of the example font, black ink on white paper, in every
# kind and layout that the picture writers installed here make (ImageMagick,
# GraphicsMagick, Pillow, ffmpeg, netpbm, GIMP) and converts each: every one
# must give the font drawn, the one-bit BMPs their bits by value, and what
# the README says is refused must be refused in one line. Then shows that
# the sheets glyphsheet writes are read as meant by file, Pillow and
# ImageMagick. Given a Windows glyphrip.exe, each picture is converted by it
# under Wine too.
# Usage: recipes.sh glyphrip glyphsheet python-with-pillow [glyphrip.exe]
set -euo pipefail
glyphrip=$(realpath "$1")
glyphsheet=$(realpath "$2")
python=$3
windows=${4:+$(realpath "$4")}
examples=$(cd "$(dirname "$0")/../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export WINEPREFIX=${WINEPREFIX:-$work/wine} WINEDEBUG=-all

# What the example font is with ink as 1 bits, and with ink as 0 bits.
cp "$examples/font.raw" ink1.raw
"$python" -c 'import sys; sys.stdout.buffer.write(bytes(b ^ 0xFF for b in open("ink1.raw", "rb").read()))' >ink0.raw
head -c 1024 /dev/zero >blank.raw
# The drawing, as a paint program would save it.
convert "$examples/sheet.bmp" drawing.png

failures=0
pass() { echo "ok: $1"; }
fail() { echo "FAILED: $1"; failures=$((failures + 1)); }
has() { command -v "$1" >/dev/null || { echo "skipped: $2 (needs $1)"; return 1; }; }
# which font.raw: which of the known fonts a file is, if any
which_font() {
  local known
  for known in ink1 ink0 blank; do cmp -s "$1" "$known.raw" && { echo "$known"; return; }; done
  echo other
}
# converts file with the native program and, given one, the Windows one
runs() {
  "$glyphrip" "$1" native.raw && which_font native.raw || echo "refused"
  if [ -n "$windows" ]; then
    /usr/lib/wine/wine64 "$windows" "$1" windows.raw && which_font windows.raw || echo "refused"
  fi
  rm -f native.raw windows.raw
}
expect() { # expect ink1|ink0|blank file description
  local got
  got=$(runs "$2" | sort -u | tr '\n' ' ')
  if [ "$got" = "$1 " ]; then pass "$3"; else fail "$3 (gave $got)"; fi
  rm -f "$2"
}
refused() { # refused file reason description: one line, status 1, no output
  local err status=0
  err=$("$glyphrip" "$1" font.raw 2>&1) || status=$?
  if [ "$status" -eq 1 ] && [ "$err" = "$1: $2" ] && [ ! -e font.raw ]; then
    pass "$3"
  else
    fail "$3 (status $status, said: $err)"
  fi
  rm -f "$1" font.raw
}

# ImageMagick: PNG of every colour type and depth, interlaced too; BMP of
# every depth and compression it writes; netpbm plain and raw.
for type in Bilevel Grayscale Palette TrueColor GrayscaleAlpha TrueColorAlpha; do
  for depth in 1 2 4 8 16; do
    convert drawing.png -type $type -depth $depth PNG:im.png
    expect ink1 im.png "ImageMagick PNG, $type at depth $depth"
    convert drawing.png -type $type -depth $depth -interlace PNG PNG:im.png
    expect ink1 im.png "ImageMagick PNG, $type at depth $depth, interlaced"
  done
done
convert drawing.png -negate -transparent black im.png
expect ink1 im.png "ImageMagick PNG, white ink on transparent paper"
convert drawing.png -negate im.png
expect ink0 im.png "ImageMagick PNG, white ink on black paper, comes out inverted"
convert drawing.png -type TrueColor im.bmp
expect ink1 im.bmp "ImageMagick 24-bit BMP"
convert drawing.png -type TrueColorAlpha im.bmp
expect ink1 im.bmp "ImageMagick 32-bit BMP"
convert drawing.png -negate -transparent black -type TrueColorAlpha im.bmp
expect ink1 im.bmp "ImageMagick 32-bit BMP, white ink on transparent paper"
for subtype in RGB565 RGB555 ARGB4444 ARGB1555; do
  convert drawing.png -type TrueColor -define bmp:subtype=$subtype im.bmp
  expect ink1 im.bmp "ImageMagick 16-bit BMP, $subtype"
done
convert drawing.png -type Palette -compress RLE BMP3:im.bmp
expect ink1 im.bmp "ImageMagick RLE8 BMP"
convert drawing.png PBM:im.pbm
expect ink1 im.pbm "ImageMagick PBM"
for kind in pbm pgm ppm; do
  convert drawing.png -compress none "${kind^^}:im.$kind"
  expect ink1 "im.$kind" "ImageMagick plain ${kind^^}"
  convert drawing.png -depth 16 "${kind^^}:im.$kind"
  expect ink1 "im.$kind" "ImageMagick ${kind^^} of 16 bits"
done
convert drawing.png png:- | "$glyphrip" /dev/stdin font.raw
[ "$(which_font font.raw)" = ink1 ] && pass "ImageMagick PNG piped into the tool" || fail "the piped PNG"
rm -f font.raw

# One-bit BMPs keep their bits by value, whatever colour they stand for.
convert drawing.png -type bilevel im.bmp
expect ink0 im.bmp "ImageMagick one-bit BMP, black first in its colour table: ink as 0 bits"
convert drawing.png -negate -type bilevel BMP3:im.bmp
expect ink1 im.bmp "ImageMagick one-bit BMP of the negated drawing: ink as 1 bits"

# What is not read, and why.
convert drawing.png im.jpg
refused im.jpg "a JPEG picture; save the sheet as PNG or BMP" "a JPEG is refused"
convert drawing.png im.gif
refused im.gif "a GIF picture; save the sheet as PNG or BMP" "a GIF is refused"
convert drawing.png im.tif
refused im.tif "a TIFF picture; save the sheet as PNG or BMP" "a TIFF is refused"
convert drawing.png -resize 200% big.png
refused big.png "128 x 256 pixels; a sheet is 64 x 128" "a PNG of another size is refused"
convert drawing.png -strip im.png # IDAT last before IEND
"$python" -c 'b = bytearray(open("im.png", "rb").read()); b[-13] ^= 1; open("im.png", "wb").write(b)'
refused im.png "a damaged PNG: the CRC of its IDAT chunk does not match" "a damaged PNG is refused"

if has gm "GraphicsMagick's pictures"; then
  for out in g.png PNG24:g.png PNG32:g.png g.ppm g.pgm g.pbm; do
    gm convert drawing.png "$out"
    expect ink1 "${out#*:}" "GraphicsMagick $out"
  done
  gm convert drawing.png g.bmp
  expect ink0 g.bmp "GraphicsMagick one-bit BMP, black first in its colour table: ink as 0 bits"
  gm convert drawing.png -type TrueColor g.bmp
  expect ink1 g.bmp "GraphicsMagick 24-bit BMP"
  gm convert drawing.png -type TrueColorMatte g.bmp
  expect ink1 g.bmp "GraphicsMagick 32-bit BMP"
  gm convert drawing.png -interlace Line g.png
  expect ink1 g.png "GraphicsMagick interlaced PNG"
fi

# Pillow: each mode a drawing is commonly in, as PNG, BMP and netpbm.
"$python" - <<'PY'
from PIL import Image
im = Image.open("drawing.png")
for mode in ("1", "L", "LA", "P", "RGB", "RGBA", "I;16"):
    im.convert(mode).save("pil-%s.png" % mode.replace(";", ""))
for mode in ("L", "P", "RGB", "RGBA"):
    im.convert(mode).save("pil-%s.bmp" % mode)
im.convert("1").save("pil.pbm")
im.convert("L").save("pil.pgm")
im.convert("RGB").save("pil.ppm")
PY
for f in pil-*.png pil-*.bmp pil.p?m; do
  want=ink1
  [ "$f" = pil-I16.png ] && want=other # Pillow keeps 0 to 255 in 16 bits: all of it dark
  [ "$want" = other ] && { rm -f "$f"; continue; }
  expect "$want" "$f" "Pillow $f"
done

if has ffmpeg "ffmpeg's pictures"; then
  for f in rgb24 rgba gray gray16be rgb48be ya8 pal8 monob; do
    ffmpeg -loglevel error -y -i drawing.png -pix_fmt $f ff.png && expect ink1 ff.png "ffmpeg PNG, $f"
  done
  for f in bgr24 bgra pal8 gray rgb565 rgb555; do
    ffmpeg -loglevel error -y -i drawing.png -pix_fmt $f ff.bmp && expect ink1 ff.bmp "ffmpeg BMP, $f"
  done
  for f in ppm pgm pbm; do
    ffmpeg -loglevel error -y -i drawing.png ff.$f && expect ink1 ff.$f "ffmpeg ${f^^}"
  done
fi

if has pngtopnm "netpbm's pictures"; then
  pngtopnm drawing.png >n.pgm
  pgmtoppm white n.pgm >n.ppm 2>/dev/null
  pamthreshold -simple n.pgm 2>/dev/null | pamtopnm >n.pbm 2>/dev/null || pgmtopbm -threshold n.pgm >n.pbm
  for f in n.pbm n.pgm n.ppm; do
    pnmtopnm -plain $f >plain-$f && expect ink1 plain-$f "netpbm plain ${f#n.}"
    pnmtopng $f >n.png && expect ink1 n.png "netpbm pnmtopng of ${f#n.}"
    pnmtopng -interlace $f >n.png && expect ink1 n.png "netpbm interlaced pnmtopng of ${f#n.}"
  done
  for bpp in 4 8 24; do
    ppmtobmp -bpp $bpp n.ppm >n.bmp 2>/dev/null && expect ink1 n.bmp "netpbm ppmtobmp -bpp $bpp"
  done
  pamdepth 65535 n.ppm >n16.ppm 2>/dev/null && expect ink1 n16.ppm "netpbm PPM of 16 bits"
  expect ink1 n.pbm "netpbm PBM"
  expect ink1 n.pgm "netpbm PGM"
  expect ink1 n.ppm "netpbm PPM"
fi

if has gimp-console-2.10 "GIMP's pictures"; then
  # A third colour, light enough to be paper, so that GIMP writes 4 bits
  # rather than one.
  convert drawing.png -fill 'rgb(200,200,200)' -draw 'point 0,0' three.png
  timeout 300 gimp-console-2.10 -i -d -f -b '
    (let* ((img (car (file-png-load RUN-NONINTERACTIVE "drawing.png" "drawing.png")))
           (dr (car (gimp-image-get-active-drawable img))))
      (file-png-save-defaults RUN-NONINTERACTIVE img dr "gimp.png" "gimp.png")
      (file-bmp-save RUN-NONINTERACTIVE img dr "gimp.bmp" "gimp.bmp")
      (file-pnm-save RUN-NONINTERACTIVE img dr "gimp.pgm" "gimp.pgm" 1)
      (file-pnm-save RUN-NONINTERACTIVE img dr "gimp-plain.pgm" "gimp-plain.pgm" 0)
      (gimp-image-convert-rgb img)
      (set! dr (car (gimp-image-get-active-drawable img)))
      (file-png-save-defaults RUN-NONINTERACTIVE img dr "gimp-rgb.png" "gimp-rgb.png")
      (file-bmp-save RUN-NONINTERACTIVE img dr "gimp-rgb.bmp" "gimp-rgb.bmp")
      (file-pnm-save RUN-NONINTERACTIVE img dr "gimp.ppm" "gimp.ppm" 1)
      (gimp-layer-add-alpha dr)
      (file-png-save-defaults RUN-NONINTERACTIVE img dr "gimp-rgba.png" "gimp-rgba.png")
      (file-bmp-save RUN-NONINTERACTIVE img dr "gimp-rgba.bmp" "gimp-rgba.bmp"))' \
    -b '
    (let* ((img (car (file-png-load RUN-NONINTERACTIVE "three.png" "three.png"))) (dr 0))
      (gimp-image-convert-indexed img CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE 16 FALSE FALSE "")
      (set! dr (car (gimp-image-get-active-drawable img)))
      (file-bmp-save2 RUN-NONINTERACTIVE img dr "gimp-4.bmp" "gimp-4.bmp" 0 0 0)
      (file-bmp-save2 RUN-NONINTERACTIVE img dr "gimp-rle4.bmp" "gimp-rle4.bmp" 1 0 0))' \
    -b '(gimp-quit 0)' >gimp.log 2>&1 || fail "GIMP did not save the drawing: $(tail -1 gimp.log)"
  for f in gimp*.png gimp*.bmp gimp*.p?m; do
    [ -e "$f" ] && expect ink1 "$f" "GIMP $f"
  done
fi

# A random font as a sheet, and the README's preview eight times the size:
# Pillow must see a black pixel exactly where the font has a 1 bit.
"$python" -c 'import os, sys; sys.stdout.buffer.write(os.urandom(1024))' >font.raw
PATH=$(dirname "$glyphsheet"):$PATH
glyphsheet font.raw sheet.bmp
glyphsheet font.raw /dev/stdout | convert bmp:- -scale 800% big.png
shows_font() { # shows_font picture scale description
  if "$python" - font.raw "$1" "$2" <<'PY'; then pass "$3"; else fail "$3"; fi
import sys
from PIL import Image
font, scale = open(sys.argv[1], "rb").read(), int(sys.argv[3])
im = Image.open(sys.argv[2]).convert("L")
assert im.size == (64 * scale, 128 * scale), im.size
for n in range(128):
    for s in range(8):
        for x in range(8):
            black = im.getpixel(((8 * (n // 16) + x) * scale, (8 * (n % 16) + s) * scale)) == 0
            assert black == bool(font[8 * n + s] >> x & 1), (n, s, x)
PY
}
shows_font sheet.bmp 1 "Pillow sees glyphsheet's ink as the font's 1 bits"
shows_font big.png 8 "the preview through /dev/stdout shows the font"
convert sheet.bmp edited.png
"$glyphrip" edited.png back.raw
cmp -s back.raw font.raw && pass "glyphsheet's sheet saved again as PNG gives the font back" ||
  fail "ImageMagick's PNG of glyphsheet's sheet changed the font"
if file sheet.bmp | grep -q 'Windows 3.x format, 64 x 128 x 1'; then
  pass "file calls the sheet a 64 x 128 one-bit BMP"
else
  fail "file says $(file sheet.bmp)"
fi

exit $((failures > 0))
