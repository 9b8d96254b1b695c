// glyphsheet infile outfile: turns a raw font of 128 or 256 glyphs, 8 bytes
// each, into the font sheet that glyphrip reads, for editing in a paint
// program, in the format the output's name asks for.
#include <cstdio>
#include <cstring>

#include "glyph_sheet.h"
#include "kinds.h"
#include "picture.h"
#include "program.h"

// The sheet read, and each format's writer of it.
static glyph_sheet sheet;

template <sheet_writer write> static void write_picture(sink &s, const char * /*stem*/)
{
    static unsigned char bytes[MOST_WRITTEN];
    put(s, bytes, write(sheet, bytes));
}

static int read_sheet_of_font(input &in, const told & /*t*/, char why[REASON_SIZE])
{
    return read_font(in, sheet, why);
}

// The format of the name's ending; a one-bit BMP, as glyphsheet has always
// written, for a name without an ending or with one of no picture format.
// Every ending of a kind it writes is here, so that a refusal never names
// one: `.pnm`, any of netpbm's, is the simplest, PBM. PGM and PPM cannot
// say which side is paper, so a sheet more than half ink, which glyphrip
// would read as light ink on dark paper, is refused there.
static int picture_output(const char *ending, const told & /*t*/, output &out, char why[REASON_SIZE])
{
    static const struct {
        const char *ending;
        void (*write)(sink &s, const char *stem);
        const char *name; // where it cannot hold a sheet more than half ink
    } formats[] = {{"bmp", write_picture<write_sheet>, nullptr}, {"dib", write_picture<write_sheet>, nullptr},
                   {"png", write_picture<write_png>, nullptr},   {"pbm", write_picture<write_pbm>, nullptr},
                   {"pnm", write_picture<write_pbm>, nullptr},   {"pgm", write_picture<write_pgm>, "a PGM"},
                   {"ppm", write_picture<write_ppm>, "a PPM"}};
    out = {write_picture<write_sheet>, 0, false};
    for (const auto &f : formats) {
        if (strcmp(ending, f.ending) != 0)
            continue;
        if (f.name != nullptr && mostly_ink(sheet))
            return refuse(why,
                          "more than half of the font is ink, which %s cannot tell from paper; write PNG, BMP or PBM",
                          f.name);
        out.write = f.write;
        return 0;
    }
    if (const file_kind *kind = kind_by_ending(ending))
        return refuse(why, "glyphsheet writes PNG, BMP, PBM, PGM or PPM, not %s", kind->name);
    return 0;
}

int program_main(int argc, path_char *argv[])
{
    return run_conversion({"glyphsheet", "infile outfile", false, read_sheet_of_font, picture_output, false}, argc,
                          argv);
}
