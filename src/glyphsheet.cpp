// glyphsheet infile outfile: turns a raw font of 128 or 256 glyphs, 8 bytes
// each, into the font sheet that glyphrip reads, for editing in a paint
// program, in the format the output's name asks for.
#include <cstdio>
#include <cstring>

#include "glyph_sheet.h"
#include "kinds.h"

// The format of the name's ending; a one-bit BMP, as glyphsheet has always
// written, for a name without an ending or with one of no picture format.
// Every ending of a kind it writes is here, so that a refusal never names
// one: `.pnm`, any of netpbm's, is the simplest, PBM. PGM and PPM cannot
// say which side is paper, so a sheet more than half ink, which glyphrip
// would read as light ink on dark paper, is refused there.
static sheet_writer sheet_writer_for(const char *ending, const glyph_sheet &sheet, char why[REASON_SIZE])
{
    static const struct {
        const char *ending;
        sheet_writer write;
        const char *name; // where it cannot hold a sheet more than half ink
    } formats[] = {{"bmp", write_sheet, nullptr}, {"dib", write_sheet, nullptr}, {"png", write_png, nullptr},
                   {"pbm", write_pbm, nullptr},   {"pnm", write_pbm, nullptr},   {"pgm", write_pgm, "a PGM"},
                   {"ppm", write_ppm, "a PPM"}};
    for (const auto &f : formats) {
        if (strcmp(ending, f.ending) != 0)
            continue;
        if (f.name != nullptr && mostly_ink(sheet)) {
            (void)snprintf(why, REASON_SIZE,
                           "more than half of the font is ink, which %s cannot tell from paper; write PNG, BMP or PBM",
                           f.name);
            return nullptr;
        }
        return f.write;
    }
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
