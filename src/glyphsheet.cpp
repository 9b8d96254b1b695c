// glyphsheet infile outfile: turns a raw font of 128 glyphs, 8 bytes each,
// into the 64 x 128 one-bit BMP font sheet that glyphrip reads, for editing
// in a paint program.
#include "glyph_sheet.h"

int program_main(int argc, path_char *argv[])
{
    return run_conversion({"glyphsheet", read_font, write_sheet, false}, argc, argv);
}
