#!/usr/bin/env bash
# Runs the README's recipes for making a sheet, as written there, on a
# drawing of the example font, and converts each result: the recipes must
# give the example's font (ink as 1 bits) whichever BMP layout the writer
# chose, and what the README says is refused must be refused. Then shows
# that the sheets glyphsheet writes are read as meant by real readers: file,
# Pillow and ImageMagick.
# Usage: recipes.sh glyphrip-executable glyphsheet-executable python-with-pillow
set -euo pipefail
glyphrip=$(realpath "$1")
glyphsheet=$(realpath "$2")
python=$3
examples=$(cd "$(dirname "$0")/../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# What the example font is with ink as 1 bits, and with ink as 0 bits.
cp "$examples/font.raw" ink1.raw
"$python" -c 'import sys; sys.stdout.buffer.write(bytes(b ^ 0xFF for b in open("ink1.raw", "rb").read()))' >ink0.raw
# The example drawn black on white and saved as a paint program would.
convert "$examples/sheet.bmp" drawing.png

head -c 1024 /dev/zero >blank.raw

# check ink1|ink0|blank|other description: which of the known fonts
# font.raw is, if any. expect converts a file first.
failures=0
check() {
  local got=other known
  for known in ink1 ink0 blank; do cmp -s font.raw "$known.raw" && got=$known; done
  if [ "$got" = "$1" ]; then echo "ok: $2"; else echo "FAILED: $2 (gave $got)"; failures=$((failures + 1)); fi
  rm -f font.raw
}
expect() { # expect font file description
  "$glyphrip" "$2" font.raw
  rm "$2"
  check "$1" "$3"
}
refused() { # refused file reason description: one line, status 1, no output
  local err status=0
  err=$("$glyphrip" "$1" font.raw 2>&1) || status=$?
  if [ "$status" -eq 1 ] && [ "$err" = "$1: $2" ] && [ ! -e font.raw ]; then
    echo "ok: $3"
  else
    echo "FAILED: $3 (status $status, said: $err)"; failures=$((failures + 1))
  fi
  rm -f "$1" font.raw
}

convert drawing.png -threshold 50% -negate -type bilevel sheet.bmp
expect ink1 sheet.bmp "ImageMagick recipe (its 108-byte header) gives ink as 1 bits"
convert drawing.png -threshold 50% -type bilevel sheet.bmp
expect ink0 sheet.bmp "ImageMagick without -negate gives ink as 0 bits"
convert drawing.png -threshold 50% -negate -type bilevel BMP2:sheet.bmp
expect ink1 sheet.bmp "ImageMagick's OS/2 layout gives ink as 1 bits"
convert drawing.png -threshold 50% -negate -type bilevel BMP3:sheet.bmp
expect ink1 sheet.bmp "ImageMagick's Windows 3.x layout gives ink as 1 bits"
convert drawing.png -type TrueColor sheet.bmp
refused sheet.bmp "24 bits per pixel; a sheet has 1" "ImageMagick's BMP of a colour drawing is refused"
cp drawing.png drawing-copy.png
refused drawing-copy.png "a PNG picture; a sheet is a one-bit BMP" "a PNG is refused"

convert drawing.png -threshold 50% -negate -type bilevel bmp:- | "$glyphrip" /dev/stdin font.raw
check ink1 "ImageMagick piped straight into the tool"

"$python" -c 'from PIL import Image, ImageOps
ImageOps.invert(Image.open("drawing.png").convert("L")).convert("1", dither=Image.Dither.NONE).save("sheet.bmp")'
expect ink1 sheet.bmp "Pillow recipe gives ink as 1 bits"
"$python" -c 'from PIL import Image
Image.open("drawing.png").convert("1", dither=Image.Dither.NONE).save("sheet.bmp")'
expect ink0 sheet.bmp "Pillow without invert gives ink as 0 bits"
"$python" -c 'from PIL import Image
Image.open("drawing.png").convert("L").save("sheet.bmp")'
refused sheet.bmp "8 bits per pixel; a sheet has 1" "Pillow in mode L is refused"

# A sheet stored top row first, made by hand from a good one: the same rows
# in reverse order and the height negated.
convert drawing.png -threshold 50% -negate -type bilevel BMP3:bottom-up.bmp
"$python" -c 'import struct
b = open("bottom-up.bmp", "rb").read()
rows = [b[62 + 8 * i : 70 + 8 * i] for i in range(128)]
head = bytearray(b[:62])
struct.pack_into("<i", head, 22, -128)
open("sheet.bmp", "wb").write(bytes(head) + b"".join(reversed(rows)))'
expect ink1 sheet.bmp "a sheet stored top row first gives ink as 1 bits"

# A picture of one colour gets a colour table of that colour alone.
convert -size 64x128 xc:white drawing.png
convert drawing.png -threshold 50% -negate -type bilevel sheet.bmp
expect blank sheet.bmp "ImageMagick: a blank drawing gives a font of zeros"
convert drawing.png -threshold 50% -type bilevel sheet.bmp
expect blank sheet.bmp "ImageMagick without -negate: a blank drawing gives a font of zeros too"

# A random font as a sheet, and the README's preview eight times the size:
# Pillow must see a black pixel exactly where the font has a 1 bit.
"$python" -c 'import os, sys; sys.stdout.buffer.write(os.urandom(1024))' >font.raw
PATH=$(dirname "$glyphsheet"):$PATH
glyphsheet font.raw sheet.bmp
glyphsheet font.raw /dev/stdout | convert bmp:- -scale 800% big.png
shows_font() { # shows_font picture scale description
  if "$python" - font.raw "$1" "$2" <<'PY'; then echo "ok: $3"; else echo "FAILED: $3"; failures=$((failures + 1)); fi
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
convert sheet.bmp edited.bmp
"$glyphrip" edited.bmp back.raw
cmp -s back.raw font.raw && echo "ok: ImageMagick keeps the sheet's colour table" ||
  { echo "FAILED: ImageMagick changed the sheet's bits"; failures=$((failures + 1)); }
if file sheet.bmp | grep -q 'Windows 3.x format, 64 x 128 x 1'; then
  echo "ok: file calls the sheet a 64 x 128 one-bit BMP"
else
  echo "FAILED: file says $(file sheet.bmp)"; failures=$((failures + 1))
fi

exit $((failures > 0))
