// glyphsheet infile outfile: turns a raw font of 128 glyphs, 8 bytes each,
// into the 64 x 128 font sheet that glyphrip reads, for editing in a paint
// program, in the format the output's name asks for.
#include <cstdio>
#include <cstring>

#include "glyph_sheet.h"
#include "kinds.h"

// The format of the name's ending; a one-bit BMP, as glyphsheet has always
// written, for a name without an ending or with one of no picture format.
// Every ending of a kind it writes is here, so that a refusal never names
// one: `.pnm`, any of netpbm's, is the simplest, PBM.
static sheet_writer sheet_writer_for(const char *ending, char why[REASON_SIZE])
{
    static const struct {
        const char *ending;
        sheet_writer write;
    } formats[] = {{"bmp", write_sheet}, {"dib", write_sheet}, {"png", write_png}, {"pbm", write_pbm},
                   {"pnm", write_pbm},   {"pgm", write_pgm},   {"ppm", write_ppm}};
    for (const auto &f : formats)
        if (strcmp(ending, f.ending) == 0)
            return f.write;
    if (const file_kind *kind = kind_by_ending(ending)) {
        (void)snprintf(why, REASON_SIZE, "glyphsheet writes PNG, BMP, PBM, PGM or PPM, not %s", kind->name);
        return nullptr;
    }
    return write_sheet;
}

int program_main(int argc, path_char *argv[])
{
    return run_conversion({"glyphsheet", read_font, sheet_writer_for, false}, argc, argv);
}
