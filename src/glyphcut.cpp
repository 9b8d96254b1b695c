// glyphcut [options] infile outfile: glyphrip told the layout of any
// bitmap font picture, which pixels are ink, and the order of each byte's
// bits; with no option, glyphrip.
#include "program.h"

int program_main(int argc, path_char *argv[])
{
    return run_conversion({"glyphcut", "[options] infile outfile", true, read_font_picture, font_output, true}, argc,
                          argv);
}
