#!/usr/bin/env bash
# Saves one drawing of the example font, black ink on white paper, in every
# kind and layout that the picture writers installed here make (ImageMagick,
# GraphicsMagick, Pillow, ffmpeg, netpbm, GIMP, Krita, Java) and converts
# each: every one must give the font drawn, the one-bit BMPs their bits by
# value, and every other kind of file the README names (paint programs'
# files, pictures not read, compressed files and archives, from those
# programs, the encoders and the compressors installed) must be refused in
# one line that names it. A font given as the output must leave each
# picture as it was. Then shows that the sheets glyphsheet writes are read
# as meant by file, Pillow and ImageMagick, and that each format glyphsheet
# writes by the output's name is opened as the font by every program here.
# Given a Windows glyphrip.exe, each picture is converted, and each refusal
# made, by it under Wine too, and the glyphsheet.exe beside it must write
# what the native one writes. Where GLYPHRIP_KEEP names a directory, a copy
# of every file converted or refused, and of every raw font, is kept there,
# for the page's test to take through the page.
# Usage: recipes.sh glyphrip glyphsheet python-with-pillow [glyphrip.exe]
set -euo pipefail
glyphrip=$(realpath "$1")
glyphsheet=$(realpath "$2")
python=$3
windows=${4:+$(realpath "$4")}
examples=$(cd "$(dirname "$0")/../examples" && pwd)
work=$(mktemp -d)
cd "$work"
# As the Windows test preset: no Mono or Gecko for a new prefix to install.
export WINEPREFIX=${WINEPREFIX:-$work/wine} WINEDEBUG=-all WINEDLLOVERRIDES=${WINEDLLOVERRIDES-mscoree,mshtml=}
trap 'rm -rf "$work"' EXIT
if [ -n "$windows" ]; then
  # One wine server for every run: one that exits as the next run starts
  # fails that run for Wine's own reasons.
  mkdir -p "$WINEPREFIX"
  trap '/usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
  # Making the prefix can fail for Wine's own reasons too (status 53, "could
  # not load kernel32.dll"): three tries, each with a new server, and what
  # Wine said if none made it.
  for try in 1 2 3; do
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    /usr/lib/wine/wineserver -p
    status=0
    /usr/lib/wine/wine64 wineboot -i >"$work/wineboot.out" 2>&1 || status=$?
    [ $status -eq 0 ] && break
    echo "Wine could not make its prefix (try $try, status $status): $(tr '\r\n' '  ' <"$work/wineboot.out")" >&2
    [ "$try" -lt 3 ] || exit 1
  done
fi
# Wine itself may still fail a run: its own message ("wine: ...", "err:") or
# a status the program never gives (it gives 0 or 1). Such a run is made once
# more, and counted; the program's own answers are never retried.
on_windows() { # on_windows program.exe arguments...
  local status=0
  /usr/lib/wine/wine64 "$@" 2>"$work/wine.err" || status=$?
  if [ $status -gt 1 ] || grep -q '^wine\|err:' "$work/wine.err"; then
    echo "status $status: $(tr '\r\n' '  ' <"$work/wine.err")" >>"$work/wine.retried"
    /usr/lib/wine/wineserver -p
    status=0
    /usr/lib/wine/wine64 "$@" 2>"$work/wine.err" || status=$?
  fi
  cat "$work/wine.err" >&2
  return $status
}
wine() { on_windows "$windows" "$@"; }

# What the example font is with ink as 1 bits, and with ink as 0 bits.
cp "$examples/font.raw" ink1.raw
"$python" -c 'import sys; sys.stdout.buffer.write(bytes(b ^ 0xFF for b in open("ink1.raw", "rb").read()))' >ink0.raw
head -c 1024 /dev/zero >blank.raw
# The drawing, as a paint program would save it, and the font of it upside
# down.
convert "$examples/sheet.bmp" drawing.png
convert drawing.png -flip flipped.png
"$glyphrip" flipped.png flipped.raw

failures=0
pass() { echo "ok: $1"; }
fail() { echo "FAILED: $1"; failures=$((failures + 1)); }
has() { command -v "$1" >/dev/null || { echo "skipped: $2 (needs $1)"; return 1; }; }
# which font.raw: which of the known fonts a file is, if any
which_font() {
  local known
  for known in ink1 ink0 blank flipped; do cmp -s "$1" "$known.raw" && { echo "$known"; return; }; done
  echo other
}
keep() { # keep file: a copy, numbered, in GLYPHRIP_KEEP, if it names a directory
  [ -n "${GLYPHRIP_KEEP:-}" ] || return 0
  kept_files=$((kept_files + 1))
  cp "$1" "$GLYPHRIP_KEEP/$(printf %04d "$kept_files")-${1##*/}"
}
kept_files=0
# converts file with the native program and, given one, the Windows one
runs() {
  keep "$1"
  "$glyphrip" "$1" native.raw && which_font native.raw || echo "refused"
  if [ -n "$windows" ]; then
    wine "$1" windows.raw && which_font windows.raw || echo "refused"
  fi
  rm -f native.raw windows.raw
}
expect() { # expect ink1|ink0|blank file description
  local got
  got=$(runs "$2" | sort -u | tr '\n' ' ')
  if [ "$got" = "$1 " ]; then pass "$3"; else fail "$3 (gave $got)"; fi
  rm -f "$2"
}
# says program arguments...: the status and the one line on standard error
says() {
  local err status=0
  err=$("$@" 2>&1 | tr -d '\r') || status=$?
  echo "$status $err"
}
refused() { # refused file reason [description]: one line, status 1, the output as it was
  local got
  printf old >font.raw
  keep "$1"
  got=$(says "$glyphrip" "$1" font.raw; [ -z "$windows" ] || says wine "$1" font.raw)
  if [ "$(sort -u <<<"$got")" = "1 $1: $2" ] && [ "$(cat font.raw)" = old ]; then
    pass "${3:-$1 is refused: $2}"
  else
    fail "${3:-$1 is refused} (said: $got)"
  fi
  rm -f "$1" font.raw
}
made() { # made file program arguments...: the program makes the file, or the test fails
  local file=$1
  shift
  "$@" >/dev/null 2>&1 && [ -s "$file" ] || { fail "$* did not make $file"; return 1; }
}
exported() { # exported file program arguments...: a paint program's export under Xvfb, which now and then
  local file=$1 program=$2       # makes no file, tried once more before the recipe fails
  shift
  for _ in 1 2; do
    timeout 300 xvfb-run -a "$@" >/dev/null 2>&1 && [ -s "$file" ] && return
  done
  fail "$program made no $file, twice"
  return 1
}
kept() { # kept picture kind: glyphrip given it as the output leaves it as it was
  local got
  cp "$1" before
  got=$(says "$glyphrip" ink1.raw "$1"; [ -z "$windows" ] || says wine ink1.raw "$1")
  if [ "$(sort -u <<<"$got")" = "1 $1: $2; glyphrip will not write a font over it" ] && cmp -s "$1" before; then
    pass "the arguments swapped leave $1 as it was"
  else
    fail "the arguments swapped, $1 (said: $got)"
  fi
  rm -f before
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
expect ink1 im.png "ImageMagick PNG, white ink on black paper: the ink is what covers less"
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
refused big.png "128 x 256 pixels; a sheet is 64 x 128, 128 x 64 or 128 x 128; glyphcut reads any other layout" "a PNG of another size is refused"
convert drawing.png -strip im.png # IDAT last before IEND
"$python" -c 'b = bytearray(open("im.png", "rb").read()); b[-13] ^= 1; open("im.png", "wb").write(b)'
refused im.png "a damaged PNG: the CRC of its IDAT chunk does not match" "a damaged PNG is refused"

# TGA. ImageMagick 6 stores the top row first while its header says the
# bottom row comes first: it is read as the header says, as GIMP, ffmpeg
# and Pillow read it, upside down.
for type in TrueColor TrueColorAlpha Grayscale Palette; do
  for compress in None RLE; do
    convert drawing.png -type $type -compress $compress im.tga
    expect flipped im.tga "ImageMagick TGA, $type, compression $compress: upside down, as its header says"
  done
done
# PAM; ImageMagick's grey PAM says BLACKANDWHITE, with a maximum of 255.
for type in Bilevel Grayscale GrayscaleAlpha TrueColor TrueColorAlpha; do
  convert drawing.png -type $type im.pam
  expect ink1 im.pam "ImageMagick PAM, $type"
done
convert drawing.png -depth 16 im.pam
expect ink1 im.pam "ImageMagick PAM of 16 bits"

# Every other kind the README names, refused by what it is.
save="save the sheet as PNG or BMP"
for kind in "psd:a Photoshop PSD file; export the sheet as PNG" "psb:a Photoshop PSB file; export the sheet as PNG" \
            "ico:an ICO icon; $save" "pcx:a PCX picture; $save" "xpm:an XPM picture; $save" "xbm:an XBM picture; $save" \
            "sgi:an SGI picture; $save" "sun:a Sun raster picture; $save" "miff:a MIFF picture; $save" \
            "dds:a DDS texture; $save" "hdr:a Radiance HDR picture; $save" "jp2:a JPEG 2000 picture; $save" \
            "j2k:a JPEG 2000 picture; $save" "webp:a WebP picture; $save"; do
  made "im.${kind%%:*}" convert drawing.png "im.${kind%%:*}" && refused "im.${kind%%:*}" "${kind#*:}"
done
for c in "gzip:gz:a gzip file" "bzip2:bz2:a bzip2 file" "xz:xz:an xz file" "zstd:zst:a zstd file"; do
  IFS=: read -r program ending name <<<"$c"
  has "$program" "$name" && made "sheet.png.$ending" sh -c "$program -c drawing.png >sheet.png.$ending" &&
    refused "sheet.png.$ending" "$name; uncompress it first"
done
has zip "a zip archive" && made sheet.zip zip -q sheet.zip drawing.png &&
  refused sheet.zip "a zip archive; extract the sheet from it first"
has 7z "a 7z archive" && made sheet.7z 7z a -bso0 sheet.7z drawing.png &&
  refused sheet.7z "a 7z archive; extract the sheet from it first"
# Files of programs that Debian lacks, their first bytes as those programs
# write them.
"$python" - <<'PY'
import struct
from PIL import Image
im = Image.open("drawing.png").convert("RGBA")
with open("sheet.ff", "wb") as f:  # farbfeld
    f.write(b"farbfeld" + struct.pack(">II", 64, 128))
    f.write(b"".join(struct.pack(">HHHH", *(257 * v for v in p)) for p in im.getdata()))
with open("sheet.aseprite", "wb") as f:  # Aseprite's 128-byte header, one frame, RGBA
    f.write(struct.pack("<IHHHHHIHII", 0, 0xA5E0, 1, 64, 128, 32, 1, 100, 0, 0) + bytes(100))
open("sheet.pdn", "wb").write(b"PDN3\x3c\x01\x00<pdnImage width=\"64\" height=\"128\" layerCount=\"1\">")
open("sheet.piskel", "w").write('{"modelVersion":2,"piskel":{"name":"sheet","fps":12,"height":128,"width":64}}')
open("sheet.svg", "w").write('<?xml version="1.0" encoding="UTF-8"?>\n<svg xmlns="http://www.w3.org/2000/svg" '
                             'width="64" height="128"><rect width="64" height="128" fill="white"/></svg>\n')
PY
refused sheet.ff "a farbfeld picture; $save"
refused sheet.aseprite "an Aseprite file; export the sheet as PNG"
refused sheet.pdn "a Paint.NET file; save the sheet as PNG with File > Save As"
refused sheet.piskel "a Piskel file; export the sheet as PNG"
refused sheet.svg "an SVG drawing; export the sheet as PNG"
if has avifenc "an AVIF picture"; then
  made sheet.avif avifenc drawing.png sheet.avif && refused sheet.avif "an AVIF picture; $save"
fi
if has heif-enc "a HEIF picture"; then
  convert drawing.png PNG24:rgb.png # heif-enc takes no grey PNG
  made sheet.heic heif-enc rgb.png -o sheet.heic && refused sheet.heic "a HEIF picture; $save"
fi
if has cjxl "a JPEG XL picture"; then
  for container in 0 1; do
    made sheet.jxl cjxl --quiet --container=$container drawing.png sheet.jxl &&
      refused sheet.jxl "a JPEG XL picture; $save" "cjxl's JPEG XL, container $container, is refused"
  done
fi
if has icotool "a CUR cursor"; then
  convert drawing.png -resize 64x64! icon.png
  made sheet.cur icotool -c --cursor -o sheet.cur icon.png && refused sheet.cur "a CUR cursor; $save"
fi
if has java "Java's BMP holding a PNG"; then
  cat >BmpPng.java <<'JAVA'
import java.io.File;
import javax.imageio.*;
import javax.imageio.stream.*;
public class BmpPng {
    public static void main(String[] a) throws Exception {
        ImageWriter w = ImageIO.getImageWritersByFormatName("bmp").next();
        ImageWriteParam p = w.getDefaultWriteParam();
        p.setCompressionMode(ImageWriteParam.MODE_EXPLICIT);
        p.setCompressionType("BI_PNG");
        try (ImageOutputStream out = ImageIO.createImageOutputStream(new File(a[1]))) {
            w.setOutput(out);
            w.write(null, new IIOImage(ImageIO.read(new File(a[0])), null, null), p);
        }
    }
}
JAVA
  made java.bmp java BmpPng.java drawing.png java.bmp && expect ink1 java.bmp "Java's ImageIO BMP holding a PNG"
fi
if has krita "Krita's files" && has xvfb-run "Krita's files"; then
  for f in k.kra k.ora k.tga k.psd; do
    exported $f krita --export --export-filename $f drawing.png
  done
  cp k.kra swapped.kra
  refused k.kra "a Krita document; export the sheet as PNG with File > Export"
  refused k.ora "an OpenRaster file; export the sheet as PNG"
  refused k.psd "a Photoshop PSD file; export the sheet as PNG"
  expect ink1 k.tga "Krita TGA"
  kept swapped.kra "a Krita document"
fi

# The arguments the wrong way round: a font written over the drawing.
cp drawing.png swapped.png
kept swapped.png "a PNG picture"
convert drawing.png -type TrueColor swapped.bmp
kept swapped.bmp "a BMP picture"
convert drawing.png swapped.psd
kept swapped.psd "a Photoshop PSD file"
# Kinds told only as likely, since a font may begin as they do: kept all
# the same, for a picture is no font's length.
for kind in "ico:an ICO icon" "pcx:a PCX picture" "sgi:an SGI picture"; do
  convert drawing.png "swapped.${kind%%:*}" && kept "swapped.${kind%%:*}" "${kind#*:}"
done
gzip -c drawing.png >swapped.png.gz && kept swapped.png.gz "a gzip file"
if has cjxl "JPEG XL kept"; then
  cjxl --quiet --container=0 drawing.png swapped.jxl && kept swapped.jxl "a JPEG XL picture"
fi
cp ink1.raw old.raw
"$glyphrip" flipped.png old.raw && [ "$(which_font old.raw)" = flipped ] &&
  pass "an existing raw font is replaced" || fail "an existing raw font was not replaced"
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
for mode in ("1", "L", "LA", "P", "RGB", "RGBA"):
    im.convert(mode).save("pil-%s.tga" % mode)
    im.convert(mode).save("pil-rle%s.tga" % mode, compression="tga_rle")
for ending in ("pdf", "ico", "pcx", "webp", "jp2", "dds"):
    im.convert("RGB").save("pil." + ending)
im.convert("L").save("pil.sgi")
PY
# Pillow's writer of run-length encoded one-bit TGA runs 64 units over a
# row of 8 bytes; Pillow cannot read it back.
refused pil-rle1.tga "a run-length encoded TGA of 1-bit pixels; save the sheet as PNG or BMP"
refused pil.pdf "a PDF document; export the sheet as PNG"
for f in "ico:an ICO icon" "pcx:a PCX picture" "webp:a WebP picture" "jp2:a JPEG 2000 picture" \
         "dds:a DDS texture" "sgi:an SGI picture"; do
  refused "pil.${f%%:*}" "${f#*:}; $save"
done
for f in pil-*.png pil-*.bmp pil.p?m pil-*.tga; do
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
  for f in ppm pgm pbm pam; do
    ffmpeg -loglevel error -y -i drawing.png ff.$f && expect ink1 ff.$f "ffmpeg ${f^^}"
  done
  for f in bgr24 bgra rgb555le gray pal8; do
    ffmpeg -loglevel error -y -i drawing.png -pix_fmt $f ff.tga && expect ink1 ff.tga "ffmpeg TGA, $f"
  done
  made ff.qoi ffmpeg -loglevel error -y -i drawing.png ff.qoi && refused ff.qoi "a QOI picture; $save"
  made ff.j2k ffmpeg -loglevel error -y -i drawing.png -c:v jpeg2000 ff.j2k &&
    refused ff.j2k "a JPEG 2000 picture; $save"
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
  # GIMP's TGA plug-in opens a display, even without a window.
  display=()
  command -v xvfb-run >/dev/null && display=(xvfb-run -a)
  timeout 300 "${display[@]}" gimp-console-2.10 -i -d -f -b '
    (let* ((img (car (file-png-load RUN-NONINTERACTIVE "drawing.png" "drawing.png")))
           (dr (car (gimp-image-get-active-drawable img))))
      (file-png-save-defaults RUN-NONINTERACTIVE img dr "gimp.png" "gimp.png")
      (file-bmp-save RUN-NONINTERACTIVE img dr "gimp.bmp" "gimp.bmp")
      (file-pnm-save RUN-NONINTERACTIVE img dr "gimp.pgm" "gimp.pgm" 1)
      (file-pnm-save RUN-NONINTERACTIVE img dr "gimp-plain.pgm" "gimp-plain.pgm" 0)
      (gimp-xcf-save 0 img dr "gimp.xcf" "gimp.xcf")
      (file-tga-save RUN-NONINTERACTIVE img dr "gimp-grey.tga" "gimp-grey.tga" 1 0)
      (gimp-image-convert-rgb img)
      (set! dr (car (gimp-image-get-active-drawable img)))
      (file-png-save-defaults RUN-NONINTERACTIVE img dr "gimp-rgb.png" "gimp-rgb.png")
      (file-bmp-save RUN-NONINTERACTIVE img dr "gimp-rgb.bmp" "gimp-rgb.bmp")
      (file-pnm-save RUN-NONINTERACTIVE img dr "gimp.ppm" "gimp.ppm" 1)
      (file-tga-save RUN-NONINTERACTIVE img dr "gimp-rgb.tga" "gimp-rgb.tga" 0 1)
      (file-tga-save RUN-NONINTERACTIVE img dr "gimp-rgb-rle.tga" "gimp-rgb-rle.tga" 1 0)
      (file-exr-save RUN-NONINTERACTIVE img dr "gimp.exr" "gimp.exr")
      (file-heif-save RUN-NONINTERACTIVE img dr "gimp.heic" "gimp.heic" 50 0)
      (file-heif-av1-save RUN-NONINTERACTIVE img dr "gimp.avif" "gimp.avif" 50 0)
      (file-jpegxl-save RUN-NONINTERACTIVE img dr "gimp.jxl" "gimp.jxl")
      (file-pdf-save RUN-NONINTERACTIVE img dr "gimp.pdf" "gimp.pdf" 0 0 0)
      (file-psd-save RUN-NONINTERACTIVE img dr "gimp.psd" "gimp.psd" 0 0)
      (file-ico-save RUN-NONINTERACTIVE img dr "gimp.ico" "gimp.ico")
      (file-pcx-save RUN-NONINTERACTIVE img dr "gimp.pcx" "gimp.pcx")
      (file-sgi-save RUN-NONINTERACTIVE img dr "gimp.sgi" "gimp.sgi" 0)
      (file-sunras-save RUN-NONINTERACTIVE img dr "gimp.sun" "gimp.sun" 1)
      (gimp-layer-add-alpha dr)
      (file-png-save-defaults RUN-NONINTERACTIVE img dr "gimp-rgba.png" "gimp-rgba.png")
      (file-bmp-save RUN-NONINTERACTIVE img dr "gimp-rgba.bmp" "gimp-rgba.bmp")
      (file-tga-save RUN-NONINTERACTIVE img dr "gimp-rgba.tga" "gimp-rgba.tga" 1 1))' \
    -b '
    (let* ((img (car (file-png-load RUN-NONINTERACTIVE "three.png" "three.png"))) (dr 0))
      (gimp-image-convert-indexed img CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE 16 FALSE FALSE "")
      (set! dr (car (gimp-image-get-active-drawable img)))
      (file-bmp-save2 RUN-NONINTERACTIVE img dr "gimp-4.bmp" "gimp-4.bmp" 0 0 0)
      (file-bmp-save2 RUN-NONINTERACTIVE img dr "gimp-rle4.bmp" "gimp-rle4.bmp" 1 0 0))' \
    -b '(gimp-quit 0)' >gimp.log 2>&1 || fail "GIMP did not save the drawing: $(tail -1 gimp.log)"
  for f in gimp*.png gimp*.bmp gimp*.p?m gimp*.tga; do
    [ -e "$f" ] && expect ink1 "$f" "GIMP $f"
  done
  cp gimp.xcf swapped.xcf
  for f in "xcf:a GIMP XCF file; export the sheet as PNG with File > Export As" "exr:an OpenEXR picture; $save" \
           "heic:a HEIF picture; $save" "avif:an AVIF picture; $save" "jxl:a JPEG XL picture; $save" \
           "pdf:a PDF document; export the sheet as PNG" "psd:a Photoshop PSD file; export the sheet as PNG" \
           "ico:an ICO icon; $save" "pcx:a PCX picture; $save" "sgi:an SGI picture; $save" \
           "sun:a Sun raster picture; $save"; do
    if [ -e "gimp.${f%%:*}" ]; then refused "gimp.${f%%:*}" "${f#*:}"; else fail "GIMP did not save gimp.${f%%:*}"; fi
  done
  kept swapped.xcf "a GIMP XCF file"
fi

# Every sheet size, drawn as people draw: black ink on white paper, white
# on black, light grey on dark grey, and black on transparent paper, saved
# by each writer in each kind it has. Each must give the font drawn; a PBM
# and a one-bit BMP their bits by value. The 256 glyphs of the square sheet
# are the example's and the same mirrored; the 128 x 64 sheet holds the
# example's glyphs along its rows.
"$python" - <<'PY'
from PIL import Image
font = open("ink1.raw", "rb").read()
mirrored = bytes(int(f"{b:08b}"[::-1], 2) for b in font) # each glyph's rows reversed left to right
sizes = {"64x128": (64, 128, font, True), "128x64": (128, 64, font, False), "128x128": (128, 128, font + mirrored, False)}
schemes = {"bw": ((0, 0, 0, 255), (255, 255, 255, 255)), "wb": ((255, 255, 255, 255), (0, 0, 0, 255)),
           "grey": ((200, 200, 200, 255), (50, 50, 50, 255)), "alpha": ((0, 0, 0, 255), (255, 255, 255, 0))}
for name, (w, h, f, by_columns) in sizes.items():
    open(f"font-{name}.raw", "wb").write(f)
    open(f"font-{name}-inverted.raw", "wb").write(bytes(b ^ 0xFF for b in f))
    for scheme, (ink, paper) in schemes.items():
        im = Image.new("RGBA", (w, h), paper)
        columns, rows = w // 8, h // 8
        for n in range(len(f) // 8):
            c, g = (n // rows, n % rows) if by_columns else (n % columns, n // columns)
            for s in range(8):
                for x in range(8):
                    if f[8 * n + s] >> x & 1:
                        im.putpixel((8 * c + x, 8 * g + s), ink)
        (im if scheme == "alpha" else im.convert("RGB")).save(f"d-{name}-{scheme}.png")
PY
gives() { # gives font file description: native, and Windows, glyphrip give the font
  local got=""
  keep "$2"
  "$glyphrip" "$2" native.raw 2>/dev/null && cmp -s native.raw "$1" || got="native "
  if [ -n "$windows" ]; then
    wine "$2" windows.raw 2>windows.err && cmp -s windows.raw "$1" || got+="Windows, which said: $(tr -d '\r' <windows.err)"
  fi
  if [ -z "$got" ]; then pass "$3"; else fail "$3 (wrong from: $got)"; fi
  rm -f "$2" native.raw windows.raw windows.err
}
sized_kinds() { # sized_kinds size scheme: the drawing saved in every kind, each converted
  local d=d-$1-$2.png font=font-$1.raw inverted=font-$1-inverted.raw is="$1, $2"
  # By value: a PBM's 1 bits are its black side, a one-bit BMP's, black first, its white side.
  local dark=$font light=$inverted
  case $2 in wb | grey) dark=$inverted light=$font ;; esac
  # ImageMagick 6 blackens transparent pixels in a palette without alpha,
  local palette=Palette
  [ $2 = alpha ] && palette="" # and its PaletteAlpha is damaged: an index past the palette
  for type in Bilevel Grayscale $palette TrueColor TrueColorAlpha; do
    convert "$d" -type $type PNG:k.png && gives "$font" k.png "ImageMagick PNG, $type, $is"
  done
  convert "$d" -interlace PNG -depth 16 PNG:k.png && gives "$font" k.png "ImageMagick interlaced 16-bit PNG, $is"
  convert "$d" -type TrueColor k.bmp && gives "$font" k.bmp "ImageMagick 24-bit BMP, $is"
  convert "$d" -type TrueColorAlpha k.bmp && gives "$font" k.bmp "ImageMagick 32-bit BMP, $is"
  [ $2 = alpha ] || { convert "$d" -type Palette -compress RLE BMP3:k.bmp && gives "$font" k.bmp "ImageMagick RLE8 BMP, $is"; }
  convert "$d" -type bilevel k.bmp && gives "$light" k.bmp "ImageMagick one-bit BMP, black first, by value, $is"
  convert "$d" -type TrueColor -define bmp:subtype=RGB565 k.bmp && gives "$font" k.bmp "ImageMagick 16-bit BMP, $is"
  for kind in pbm pgm ppm pam; do
    want=$font
    [ $kind = pbm ] && want=$dark
    convert "$d" "${kind^^}:k.$kind" && gives "$want" "k.$kind" "ImageMagick ${kind^^}, $is"
    [ $kind = pam ] || { convert "$d" -compress none "${kind^^}:k.$kind" && gives "$want" "k.$kind" "ImageMagick plain ${kind^^}, $is"; }
  done
  "$python" - "$d" <<'PY'
import sys
from PIL import Image
im = Image.open(sys.argv[1])
def convert(mode): # one bit by a threshold, not dithered
    return im.convert(mode, dither=Image.Dither.NONE) if mode == "1" else im.convert(mode)
for mode in ("1", "L", "LA", "P", "RGB", "RGBA"):
    convert(mode).save(f"pil-{mode}.png")
    convert(mode).save(f"pil-{mode}.tga")
    convert(mode).save(f"pil-rle{mode}.tga", compression="tga_rle")
for mode in ("L", "P", "RGB", "RGBA"):
    im.convert(mode).save(f"pil-{mode}.bmp")
convert("1").save("pil.pbm")
im.convert("L").save("pil.pgm")
im.convert("RGB").save("pil.ppm")
PY
  rm -f pil-rle1.tga # Pillow's run-length encoded one-bit TGA is refused (see above)
  for f in pil-*.png pil-*.tga pil-*.bmp pil.pgm pil.ppm; do gives "$font" "$f" "Pillow $f, $is"; done
  gives "$dark" pil.pbm "Pillow PBM, by value, $is"
  if has ffmpeg "ffmpeg's pictures"; then
    local one_bit=png:monob
    [ $2 = grey ] && one_bit="" # ffmpeg dithers grey to one bit
    for f in png:rgb24 png:gray png:rgba png:pal8 $one_bit bmp:bgr24 bmp:bgra bmp:pal8 bmp:rgb565 \
             tga:bgr24 tga:bgra tga:rgb555le tga:gray pgm:gray ppm:rgb24 pam:rgba; do
      ffmpeg -loglevel error -y -i "$d" -pix_fmt "${f#*:}" "ff.${f%%:*}" && gives "$font" "ff.${f%%:*}" "ffmpeg ${f/:/ }, $is"
    done
  fi
  if has pngtopnm "netpbm's pictures"; then
    pngtopnm -mix "$d" >n.ppm 2>/dev/null
    for f in "ppmtobmp -bpp 4" "ppmtobmp -bpp 8" "ppmtobmp -bpp 24" "pnmtopng" "pnmtopng -interlace" "ppmtotga" \
             "pnmtopnm -plain"; do
      $f n.ppm >n.pic 2>/dev/null && gives "$font" n.pic "netpbm $f, $is"
    done
    rm -f n.ppm
  fi
}
for size in 64x128 128x64 128x128; do
  for scheme in bw wb grey alpha; do
    [ $size = 64x128 ] && [ $scheme = bw ] && continue # all of the above
    sized_kinds $size $scheme
  done
done
if has gimp-console-2.10 "GIMP's pictures of each size"; then
  drawings=$(for size in 64x128 128x64 128x128; do printf ' "d-%s-wb" "d-%s-grey"' $size $size; done)
  drawings+=' "d-128x64-bw" "d-128x128-bw"'
  timeout 300 "${display[@]}" gimp-console-2.10 -i -d -f -b "
    (define (save-all name)
      (let* ((img (car (file-png-load RUN-NONINTERACTIVE (string-append name \".png\") \"x\")))
             (dr (car (gimp-image-get-active-drawable img))))
        (file-png-save-defaults RUN-NONINTERACTIVE img dr (string-append \"gimp-\" name \".png\") \"x\")
        (file-bmp-save RUN-NONINTERACTIVE img dr (string-append \"gimp-\" name \".bmp\") \"x\")
        (file-tga-save RUN-NONINTERACTIVE img dr (string-append \"gimp-\" name \".tga\") \"x\" 1 0)
        (file-pnm-save RUN-NONINTERACTIVE img dr (string-append \"gimp-\" name \".ppm\") \"x\" 1)))
    (for-each save-all (list $drawings))" -b '(gimp-quit 0)' >gimp.log 2>&1 ||
    fail "GIMP did not save the drawings of each size: $(tail -1 gimp.log)"
  for f in gimp-d-*; do
    size=${f#gimp-d-}
    gives "font-${size%%-*}.raw" "$f" "GIMP $f"
  done
fi

# Random fonts as sheets, and the README's preview eight times the size:
# Pillow must see a black pixel exactly where the font has a 1 bit. A font
# of a quarter ink, one of three quarters, and one of 256 glyphs.
"$python" - <<'PY'
import os
def font(n, op):
    a, b = os.urandom(n), os.urandom(n)
    return bytes(op(x, y) for x, y in zip(a, b))
open("font.raw", "wb").write(font(1024, lambda x, y: x & y))
open("inked.raw", "wb").write(font(1024, lambda x, y: x | y))
open("wide.raw", "wb").write(font(2048, lambda x, y: x & y))
PY
PATH=$(dirname "$glyphsheet"):$PATH
glyphsheet font.raw sheet.bmp
glyphsheet font.raw /dev/stdout | convert bmp:- -scale 800% big.png
shows_font() { # shows_font font picture scale description
  if "$python" - "$1" "$2" "$3" <<'PY'; then pass "$4"; else fail "$4"; fi
import sys
from PIL import Image
font, scale = open(sys.argv[1], "rb").read(), int(sys.argv[3])
im = Image.open(sys.argv[2]).convert("L")
wide = len(font) > 1024
assert im.size == ((128 if wide else 64) * scale, 128 * scale), im.size
for n in range(len(font) // 8):
    column, row = (n % 16, n // 16) if wide else (n // 16, n % 16)
    for s in range(8):
        for x in range(8):
            black = im.getpixel(((8 * column + x) * scale, (8 * row + s) * scale)) == 0
            assert black == bool(font[8 * n + s] >> x & 1), (n, s, x)
PY
}
shows_font font.raw sheet.bmp 1 "Pillow sees glyphsheet's ink as the font's 1 bits"
shows_font font.raw big.png 8 "the preview through /dev/stdout shows the font"
convert sheet.bmp edited.png
"$glyphrip" edited.png back.raw
cmp -s back.raw font.raw && pass "glyphsheet's sheet saved again as PNG gives the font back" ||
  fail "ImageMagick's PNG of glyphsheet's sheet changed the font"
if file sheet.bmp | grep -q 'Windows 3.x format, 64 x 128 x 1'; then
  pass "file calls the sheet a 64 x 128 one-bit BMP"
else
  fail "file says $(file sheet.bmp)"
fi

# glyphsheet writes the format the output's name asks for, and each
# program here opens it as black ink on white paper showing the font. A
# font more than half ink is refused as PGM and PPM, which cannot say which
# side is paper; its PNG has transparent paper.
for raw in font.raw inked.raw wide.raw; do
  for ending in png PNG pbm pgm ppm bmp; do
    w=written.$ending
    rm -f $w
    if [ $raw = inked.raw ] && { [ $ending = pgm ] || [ $ending = ppm ]; }; then
      err=$(glyphsheet $raw $w 2>&1) && status=0 || status=$?
      [ "$status" = 1 ] && [ ! -e $w ] &&
        [ "$err" = "$w: more than half of the font is ink, which a ${ending^^} cannot tell from paper; write PNG, BMP or PBM" ] &&
        pass "glyphsheet will not write a font more than half ink as .$ending" ||
        fail "glyphsheet wrote a font more than half ink as .$ending (status $status, said: $err)"
      continue
    fi
    glyphsheet $raw $w
    shows_font $raw $w 1 "Pillow sees glyphsheet's .$ending of $raw as the font"
    convert $w PNG24:read.png && shows_font $raw read.png 1 "ImageMagick sees glyphsheet's .$ending of $raw as the font"
    if has ffmpeg "ffmpeg reading glyphsheet's .$ending"; then
      ffmpeg -loglevel error -y -i $w -pix_fmt rgb24 read.png &&
        shows_font $raw read.png 1 "ffmpeg sees glyphsheet's .$ending of $raw as the font"
    fi
    if has anytopnm "netpbm reading glyphsheet's .$ending"; then
      anytopnm $w >read.pnm 2>/dev/null && shows_font $raw read.pnm 1 "netpbm sees glyphsheet's .$ending of $raw as the font"
    fi
    "$glyphrip" $w back.raw && cmp -s back.raw $raw && pass "glyphsheet's .$ending of $raw gives the font back" ||
      fail "glyphsheet's .$ending of $raw did not give the font back"
    if [ -n "$windows" ]; then
      on_windows "${windows%/*}/glyphsheet.exe" $raw windows.$ending && cmp -s windows.$ending $w &&
        pass "the Windows glyphsheet writes the same .$ending of $raw" ||
        fail "the Windows glyphsheet wrote another .$ending of $raw"
      rm -f windows.$ending # Windows takes windows.PNG for windows.png
    fi
  done
  [ $raw = font.raw ] && cp written.png font.png && cp written.pbm font.pbm && cp written.pgm font.pgm &&
    cp written.ppm font.ppm
done
if file font.png | grep -q 'PNG image data, 64 x 128, 1-bit colormap'; then
  pass "file calls glyphsheet's PNG a 64 x 128 one-bit colormap"
else
  fail "file says $(file font.png)"
fi
if has gimp-console-2.10 "GIMP reading glyphsheet's pictures"; then
  for ending in png pbm pgm ppm; do
    timeout 300 gimp-console-2.10 -i -d -f -b "
      (let* ((img (car (gimp-file-load RUN-NONINTERACTIVE \"font.$ending\" \"font.$ending\")))
             (dr (car (gimp-image-flatten img))))
        (if (not (= (car (gimp-image-base-type img)) RGB)) (gimp-image-convert-rgb img))
        (file-png-save-defaults RUN-NONINTERACTIVE img (car (gimp-image-get-active-drawable img)) \"gimp-read-$ending.png\" \"x\"))" \
      -b '(gimp-quit 0)' >/dev/null 2>&1
    shows_font font.raw gimp-read-$ending.png 1 "GIMP sees glyphsheet's .$ending as the font"
  done
fi
for ending in jpg gif tif webp tga; do
  err=$(glyphsheet font.raw refused.$ending 2>&1) && status=0 || status=$?
  kind=$(case $ending in jpg) echo a JPEG ;; gif) echo a GIF ;; tif) echo a TIFF ;; webp) echo a WebP ;; tga) echo a TGA ;; esac)
  if [ "$status" = 1 ] && [ "$err" = "refused.$ending: glyphsheet writes PNG, BMP, PBM, PGM or PPM, not $kind picture" ] &&
    [ ! -e refused.$ending ]; then
    pass "glyphsheet will not write a .$ending"
  else
    fail "glyphsheet given a .$ending (status $status, said: $err)"
  fi
done

# glyphcut, told the layouts fonts are drawn in besides the sheets: a strip
# of codes 32 to 127, a table 32 glyphs wide, glyphs of 8 x 16, a grid with
# a margin and lines between the cells, a sheet enlarged twice, and ink of
# one named colour among others. Pillow draws each from the example font
# and saves it again as TGA, ImageMagick as BMP and PPM. Each must give the font
# drawn, natively and, given glyphcut.exe, under Wine; each is kept for the
# page, whose form is told the same layouts.
glyphcut=${glyphrip%/*}/glyphcut
"$python" - ink1.raw <<'PY'
import sys
from PIL import Image
font = open(sys.argv[1], "rb").read()
def glyph(n, im, left, top, ink=0, scale=1):
    for s in range(8):
        for x in range(8):
            if font[8 * n + s] >> x & 1:
                for dy in range(scale):
                    for dx in range(scale):
                        im.putpixel((left + x * scale + dx, top + s * scale + dy), ink)
strip = Image.new("L", (96 * 8, 8), 255)
for n in range(32, 128):
    glyph(n, strip, 8 * (n - 32), 0)
strip.save("strip.png")
table = Image.new("L", (256, 32), 255)
for n in range(128):
    glyph(n, table, 8 * (n % 32), 8 * (n // 32))
table.save("table.png")
tall = Image.new("L", (128, 128), 255)
for n in range(128):
    glyph(n, tall, 8 * (n % 16), 16 * (n // 16))
tall.save("tall.png")
open("tall.raw", "wb").write(b"".join(font[8 * n:8 * n + 8] + bytes(8) for n in range(128)))
grid = Image.new("RGB", (2 + 16 * 9 - 1, 2 + 8 * 9 - 1), (160, 160, 160))
for n in range(128):
    left, top = 2 + 9 * (n % 16), 2 + 9 * (n // 16)
    grid.paste((255, 255, 255), (left, top, left + 8, top + 8))
    glyph(n, grid, left, top, (0, 0, 0))
grid.save("grid.png")
big = Image.new("L", (128, 256), 255)
for n in range(128):
    glyph(n, big, 16 * (n // 16), 16 * (n % 16), scale=2)
big.save("big.png")
green = Image.new("RGB", (128, 64), (0, 0, 0))
for n in range(128):
    left, top = 8 * (n % 16), 8 * (n // 16)
    green.putpixel((left + 7, top + 7), (255, 0, 255)) # a colour-key mark in each cell's corner
    glyph(n, green, left, top, (0, 191, 0))
green.save("green.png")
PY
"$python" -c 'import sys; sys.stdout.buffer.write(open("ink1.raw", "rb").read()[256:])' >strip.raw
cuts() { # cuts picture expected description options...: the font the options cut, native and Windows
  local picture=$1 expected=$2 description=$3 ending
  shift 3
  for ending in png bmp tga ppm; do
    local file=${picture%.png}.$ending
    # ImageMagick 6 writes TGA upside down (above); Pillow writes it.
    case $ending in
    bmp | ppm) convert "$picture" -type TrueColor "$file" ;;
    tga) "$python" -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).convert("RGB").save(sys.argv[2])' \
      "$picture" "$file" ;;
    esac
    rm -f cut.raw
    keep "$file"
    if "$glyphcut" "$@" "$file" cut.raw && cmp -s cut.raw "$expected"; then
      pass "glyphcut $* cuts $description saved as .$ending"
    else
      fail "glyphcut $* on $description saved as .$ending"
    fi
    if [ -n "$windows" ]; then
      rm -f cut.raw
      if on_windows "${windows%/*}/glyphcut.exe" "$@" "$file" cut.raw && cmp -s cut.raw "$expected"; then
        pass "the Windows glyphcut $* cuts $description saved as .$ending"
      else
        fail "the Windows glyphcut $* on $description saved as .$ending"
      fi
    fi
  done
}
cuts strip.png strip.raw "a strip of codes 32 to 127" --cell 8x8 --first 32
cuts table.png ink1.raw "a table 32 glyphs wide" --cell 8x8
cuts tall.png tall.raw "glyphs of 8 x 16" --cell 8x16
cuts grid.png ink1.raw "a grid with a margin and lines between the cells" --cell 8x8 --offset 2,2 --gap 1,1
cuts big.png ink1.raw "a sheet enlarged twice" --cell 8x8 --scale 2 --order columns
cuts green.png ink1.raw "green ink among other colours" --cell 8x8 --ink '#00BF00'
rm -f strip.raw tall.raw cut.raw

for raw in *.raw; do keep "$raw"; done
if [ -e "$work/wine.retried" ]; then
  echo "note: Wine failed $(wc -l <"$work/wine.retried") runs on its own; each was made once more:"
  cat "$work/wine.retried"
fi
exit $((failures > 0))
