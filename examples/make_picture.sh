#!/usr/bin/env bash
# Makes the pictures of the example sheets that the README shows, with a
# grid around each 8 x 8 glyph (ImageMagick): sheet-enlarged.png, of
# sheet.bmp four times the size, and sheet-128x64-enlarged.png and
# sheet-128x128-enlarged.png twice the size, each 256 pixels wide.
set -euo pipefail
cd "$(dirname "$0")"
enlarge() { # enlarge sheet scale picture
  local width height cell grid=""
  width=$(identify -format %w "$1")
  height=$(identify -format %h "$1")
  cell=$((8 * $2))
  for ((x = cell; x < width * $2; x += cell)); do grid+="line $x,0 $x,$((height * $2 - 1)) "; done
  for ((y = cell; y < height * $2; y += cell)); do grid+="line 0,$y $((width * $2 - 1)),$y "; done
  convert "$1" -scale "$((100 * $2))%" -type TrueColor -fill none -stroke '#8ab4d8' -draw "$grid" \
    -bordercolor '#8ab4d8' -border 1 -strip -define png:exclude-chunks=date,time "$3"
}
enlarge sheet.bmp 4 sheet-enlarged.png
enlarge sheet-128x64.png 2 sheet-128x64-enlarged.png
enlarge sheet-128x128.png 2 sheet-128x128-enlarged.png
