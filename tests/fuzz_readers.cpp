// libFuzzer target: arbitrary bytes to the programs' readers, as the input
// they read, glyphrip's with nothing told and glyphcut's with options the
// first bytes choose, now and then keeping each pixel's colour as the page
// does, and what a reader takes to the writers. Besides what
// the sanitizers catch, a reader must succeed or refuse in one line, a
// font must be as long as its layout says, and a sheet of a sheet's size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "glyph_sheet.h"
#include "picture.h"
#include "program.h"

namespace {

// Options from 16 bytes: cells, scale, offset and gap small enough that
// pictures of the corpus hold them, the grid, order and count now and
// then, every ink choice and both bit orders.
told options_of(const std::uint8_t *d)
{
    told t = nothing_told("glyphcut");
    layout &l = t.l;
    l.cell_width = 1U + d[1] % 32;
    l.cell_height = 1U + d[2] % 32;
    l.scale = 1U + d[3] % 4;
    l.offset_x = d[4] % 8U;
    l.offset_y = d[5] % 8U;
    l.gap_x = d[6] % 4U;
    l.gap_y = d[7] % 4U;
    t.cell = true;
    t.scale = t.offset = t.gap = (d[8] & 1) != 0;
    t.grid = (d[8] & 2) != 0;
    l.columns = 1U + d[9] % 16;
    l.rows = 1U + d[10] % 16;
    t.order = (d[8] & 4) != 0;
    l.by_columns = (d[8] & 8) != 0;
    t.count = (d[8] & 16) != 0;
    l.count = 1U + d[11];
    static const ink_choice choices[] = {ink_choice::rule,   ink_choice::dark,   ink_choice::light,
                                         ink_choice::opaque, ink_choice::colour, ink_choice::paper};
    t.ink = choices[d[12] % 6];
    memcpy(t.colour, d + 13, 3);
    t.msb = (d[8] & 32) != 0;
    l.first = d[0];
    return t;
}

bool one_line(int status, const char *why)
{
    size_t length = strnlen(why, REASON_SIZE);
    bool line = length > 0 && length < REASON_SIZE && strchr(why, '\n') == nullptr;
    return status == 0 || (status == 1 && line);
}

unsigned char written[16 << 20];
unsigned char colours[4 * MOST_PIXELS]; // where the page keeps each pixel's colour

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    static input in;
    static glyph_sheet sheet;
    static unsigned char out[MOST_WRITTEN];
    char why[REASON_SIZE];
    bool cut = size >= 16 && data[0] % 2 == 1;
    told t = cut ? options_of(data) : nothing_told("glyphrip");
    open_memory(in, data + (cut ? 16 : 0), size - (cut ? 16 : 0));
    memset(why, 0, sizeof why);
    // Now and then each pixel's colour kept as well, as the page keeps them.
    keep_colours(cut && (data[8] & 64) != 0 ? colours : nullptr);
    int status = read_font_picture(in, t, why);
    if (!one_line(status, why))
        abort();
    const font &f = font_read();
    if (status == 0 && f.length != f.row_bytes * f.l.cell_height * f.l.count)
        abort();
    for (const char *ending : {"raw", "h"}) {
        output o = {nullptr, 0, false};
        sink s = {nullptr, written, sizeof written, 0, false};
        if (status == 0 && (font_output(ending, t, o, why) != 0 || (o.write(s, "9 font"), s.failed)))
            abort();
    }
    open_memory(in, data, size);
    memset(why, 0, sizeof why);
    status = read_font(in, sheet, why);
    if (!one_line(status, why) || (status == 0 && !is_sheet_size(sheet.width, sheet.height)))
        abort();
    for (auto write : {write_sheet, write_png, write_pbm, write_pgm, write_ppm})
        if (status == 0 && write(sheet, out) > MOST_WRITTEN)
            abort();
    return 0;
}
