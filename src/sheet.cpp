// The sheet, read from whatever picture holds it: the kind of picture is
// told by its first bytes, and the reader of that format fills the sheet.
#include <cstring>

#include "picture.h"

int read_sheet(FILE *in, glyph_sheet sheet, char why[REASON_SIZE])
{
    lookahead ahead;
    if (look_ahead(in, ahead) != 0)
        return -1;
    const char *kind = picture_kind(ahead);
    int read = 0;
    if (kind == nullptr)
        read_one_bit(ahead, SHEET_DATA_OFFSET, false, sheet); // no picture at all: the plain one-bit layout
    else if (strcmp(kind, "BMP") == 0)
        read = read_bmp(ahead, sheet, why);
    else if (strcmp(kind, "PNG") == 0)
        read = read_png(ahead, sheet, why);
    else if (netpbm_kind(ahead) != nullptr)
        read = read_netpbm(ahead, sheet, why);
    else {
        (void)snprintf(why, REASON_SIZE, "a %s picture; save the sheet as PNG or BMP", kind);
        read = 1;
    }
    // A failed read looks to a reader like an input that ends early.
    return ferror(in) ? -1 : read;
}
