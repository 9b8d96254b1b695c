#!/usr/bin/env bash
# Runs the README's recipes for making a sheet, as written there, on a
# drawing of the example font, and converts each result: the recipes must
# give the example's font (ink as 1 bits), and the pitfalls the README warns
# of must really give something else.
# Usage: recipes.sh glyphrip-executable python-with-pillow
set -euo pipefail
glyphrip=$(realpath "$1")
python=$2
examples=$(cd "$(dirname "$0")/../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# What the example font is with ink as 1 bits, and with ink as 0 bits.
cp "$examples/font.raw" ink1.raw
"$python" -c 'import sys; sys.stdout.buffer.write(bytes(b ^ 0xFF for b in open("ink1.raw", "rb").read()))' >ink0.raw
# The example drawn black on white and saved as a paint program would.
convert "$examples/sheet.bmp" PNG24:drawing.png

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

convert drawing.png -threshold 50% -negate -type bilevel BMP3:sheet.bmp
expect ink1 sheet.bmp "ImageMagick recipe gives ink as 1 bits"
convert drawing.png -threshold 50% -type bilevel BMP3:sheet.bmp
expect ink0 sheet.bmp "ImageMagick without -negate gives ink as 0 bits"
convert drawing.png -threshold 50% -negate -type bilevel sheet.bmp
expect other sheet.bmp "ImageMagick without BMP3: is misread"

convert drawing.png -threshold 50% -negate -type bilevel BMP3:- | "$glyphrip" /dev/stdin font.raw
check ink1 "ImageMagick piped straight into the tool"

"$python" -c 'from PIL import Image, ImageOps
ImageOps.invert(Image.open("drawing.png").convert("L")).convert("1", dither=Image.Dither.NONE).save("sheet.bmp")'
expect ink1 sheet.bmp "Pillow recipe gives ink as 1 bits"
"$python" -c 'from PIL import Image
Image.open("drawing.png").convert("1", dither=Image.Dither.NONE).save("sheet.bmp")'
expect ink0 sheet.bmp "Pillow without invert gives ink as 0 bits"
"$python" -c 'from PIL import Image
Image.open("drawing.png").convert("L").save("sheet.bmp")'
expect other sheet.bmp "Pillow in mode L is misread"

# A sheet stored top row first, made by hand from a good one: the same rows
# in reverse order and the height negated.
convert drawing.png -threshold 50% -negate -type bilevel BMP3:bottom-up.bmp
"$python" -c 'import struct
b = open("bottom-up.bmp", "rb").read()
rows = [b[62 + 8 * i : 70 + 8 * i] for i in range(128)]
head = bytearray(b[:62])
struct.pack_into("<i", head, 22, -128)
open("sheet.bmp", "wb").write(bytes(head) + b"".join(reversed(rows)))'
cp sheet.bmp top-down.bmp
expect other sheet.bmp "a sheet stored top row first is misread"
convert top-down.bmp -type bilevel BMP3:sheet.bmp
expect ink1 sheet.bmp "ImageMagick rewrites a top-down sheet bottom row first"

# A picture of one colour gets a colour table of that colour alone.
convert -size 64x128 xc:white drawing.png
convert drawing.png -threshold 50% -negate -type bilevel BMP3:sheet.bmp
expect blank sheet.bmp "ImageMagick: a blank drawing gives a font of zeros"
convert drawing.png -threshold 50% -type bilevel BMP3:sheet.bmp
expect blank sheet.bmp "ImageMagick without -negate: a blank drawing gives a font of zeros too"

exit $((failures > 0))
