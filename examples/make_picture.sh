#!/usr/bin/env bash
# Makes sheet-enlarged.png, the picture of sheet.bmp that the README shows:
# four times the size, with a grid around each 8 x 8 glyph (ImageMagick).
set -euo pipefail
cd "$(dirname "$0")"
grid=""
for x in 32 64 96 128 160 192 224; do grid+="line $x,0 $x,511 "; done
for y in $(seq 32 32 480); do grid+="line 0,$y 255,$y "; done
convert sheet.bmp -scale 400% -type TrueColor -fill none -stroke '#8ab4d8' -draw "$grid" \
  -bordercolor '#8ab4d8' -border 1 -strip -define png:exclude-chunks=date,time sheet-enlarged.png
