// glyphrip infile outfile: converts a font sheet, a picture, into a raw font
// of 128 or 256 glyphs, 8 bytes each.
#include "glyph_sheet.h"

// A font is a font whatever its name.
static sheet_writer font_writer(const char * /*ending*/, const glyph_sheet & /*sheet*/, char * /*why*/)
{
    return write_font;
}

int program_main(int argc, path_char *argv[])
{
    return run_conversion({"glyphrip", read_sheet, font_writer, true}, argc, argv);
}
