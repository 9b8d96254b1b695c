// glyphrip infile outfile: converts a 64 x 128 one-bit BMP font sheet into a
// raw font of 128 glyphs, 8 bytes each.
#include "glyph_sheet.h"

int program_main(int argc, path_char *argv[])
{
    return run_conversion({"glyphrip", read_sheet, write_font, true}, argc, argv);
}
