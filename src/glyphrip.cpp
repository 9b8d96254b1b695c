// glyphrip infile outfile: converts a font sheet, a picture of 8 x 8
// glyphs whose size says their layout, into a raw font of 128 or 256
// glyphs, 8 bytes each, or C source of it.
#include "program.h"

int program_main(int argc, path_char *argv[])
{
    return run_conversion({"glyphrip", "infile outfile", false, read_font_picture, font_output, true}, argc, argv);
}
