// The sheet, read from whatever picture holds it: the kind of file is told
// by its first bytes, and the reader of that format fills the sheet. A file
// that is no kind glyphrip can name is the plain one-bit layout.
#include "kinds.h"
#include "picture.h"

int read_sheet(input &in, glyph_sheet &sheet, char why[REASON_SIZE])
{
    const file_kind *kind = kind_of_input(in, sureness::likely);
    int status = 0;
    switch (kind == nullptr ? reader::none : kind->read_by) {
    case reader::bmp: status = read_bmp(in, sheet, why); break;
    case reader::png: status = read_png(in, sheet, why); break;
    case reader::netpbm: status = read_netpbm(in, sheet, why); break;
    case reader::tga: status = read_tga(in, sheet, why); break;
    case reader::none:
        if (kind != nullptr)
            return refuse(why, "%s; %s", kind->name, kind->advice);
        read_one_bit(in, SHEET_DATA_OFFSET, 64, 128, false, sheet);
        break;
    }
    // A failed read looks to a reader like an input that ends early.
    return in.failed ? -1 : status;
}
