// The sheet, read from whatever picture holds it: the kind of file is told
// by its first bytes, and the reader of that format fills the sheet. A file
// that is no kind glyphrip can name is the plain one-bit layout.
#include "kinds.h"
#include "picture.h"

int read_sheet(FILE *in, glyph_sheet sheet, char why[REASON_SIZE])
{
    lookahead ahead;
    if (look_ahead(in, ahead) != 0)
        return -1;
    const file_kind *kind = kind_of(first_bytes_of(ahead), sureness::likely);
    int status = 0;
    switch (kind == nullptr ? reader::none : kind->read_by) {
    case reader::bmp: status = read_bmp(ahead, sheet, why); break;
    case reader::png: status = read_png(ahead, sheet, why); break;
    case reader::netpbm: status = read_netpbm(ahead, sheet, why); break;
    case reader::tga: status = read_tga(ahead, sheet, why); break;
    case reader::none:
        if (kind != nullptr) {
            (void)snprintf(why, REASON_SIZE, "%s; %s", kind->name, kind->advice);
            return 1;
        }
        read_one_bit(ahead, SHEET_DATA_OFFSET, false, sheet);
        break;
    }
    // A failed read looks to a reader like an input that ends early.
    return ferror(in) ? -1 : status;
}
