#!/bin/sh
# The C source glyphrip and glyphcut write compiles without a warning as
# C99 and as C++17, as a header and as a source file, and indexed as its
# first line says, gives the raw font byte for byte.
# Usage: c_output.sh glyphrip glyphcut cc c++ sheet
set -eu
glyphrip=$(realpath "$1") glyphcut=$(realpath "$2") cc=$3 cxx=$4 sheet=$(realpath "$5")
d=$(mktemp -d)
trap 'rm -rf "$d"' EXIT
cd "$d"
cp "$sheet" sheet.bmp

# case output name count bytes program [option...]: the program writes the
# raw font and the C source `output`, whose array is `name`.
case_of() {
  output=$1 name=$2 count=$3 bytes=$4
  shift 4
  "$@" sheet.bmp font.raw
  "$@" sheet.bmp "$output"
  stem=${output%.*}
  # Every glyph's bytes, in order, from the array.
  cat >print.c <<EOF
#include <stdio.h>
#define COUNT $count
#define BYTES $bytes
extern const unsigned char (*glyphs(void))[BYTES];
int main(void)
{
    const unsigned char (*font)[BYTES] = glyphs();
    size_t c, i;
    for (c = 0; c < COUNT; c++)
        for (i = 0; i < BYTES; i++)
            putchar(font[c][i]);
    return 0;
}
EOF
  case $output in
  *.h | *.H)
    printf '#include "%s"\nconst unsigned char (*glyphs(void))[%s] { return %s; }\n' "$output" "$bytes" "$name" >font_of.c
    ;;
  *)
    printf 'extern const unsigned char %s[%s][%s];\nconst unsigned char (*glyphs(void))[%s] { return %s; }\n' \
      "$name" "$count" "$bytes" "$bytes" "$name" >font_of.c
    cat "$output" >>font_of.c
    ;;
  esac
  for compile in "$cc -std=c99" "$cxx -std=c++17 -x c++"; do
    # shellcheck disable=SC2086 # the compiler and its standard, as words
    $compile -Wall -Wextra -Werror -pedantic -o print print.c font_of.c
    ./print >back.raw
    cmp back.raw font.raw || { echo "$output as $compile: not the raw font" >&2; exit 1; }
  done
  rm -f "$output" "$stem".* font.raw back.raw print
}

case_of font.h font 128 8 "$glyphrip"
case_of FONT.C FONT 128 8 "$glyphrip"
case_of int.h int_font 64 16 "$glyphcut" --cell 16x8 --first 32
case_of "8x8 font.c" _8x8_font 128 8 "$glyphcut" --bits msb
echo "C output: compiles and gives the raw font"
