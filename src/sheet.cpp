// The sheet, read from whatever picture holds it: the kind of picture is
// told by its first bytes, and the reader of that format fills the sheet.
#include <cstring>

#include "picture.h"

int read_sheet(FILE *in, glyph_sheet sheet, char why[REASON_SIZE])
{
    static const struct {
        const char *kind;
        int (*read)(lookahead &ahead, glyph_sheet sheet, char why[REASON_SIZE]);
    } readers[] = {
        {"BMP", read_bmp}, {"PNG", read_png}, {"PBM", read_netpbm}, {"PGM", read_netpbm}, {"PPM", read_netpbm}};
    lookahead ahead;
    if (look_ahead(in, ahead) != 0)
        return -1;
    const char *kind = picture_kind(ahead);
    if (kind == nullptr) { // no picture at all: the plain one-bit layout
        read_one_bit(ahead, SHEET_DATA_OFFSET, false, sheet);
        return ferror(in) ? -1 : 0;
    }
    int (*read)(lookahead &, glyph_sheet, char[REASON_SIZE]) = nullptr;
    for (const auto &r : readers)
        if (strcmp(kind, r.kind) == 0)
            read = r.read;
    if (read == nullptr) {
        (void)snprintf(why, REASON_SIZE, "a %s picture; save the sheet as PNG or BMP", kind);
        return 1;
    }
    int status = read(ahead, sheet, why);
    // A failed read looks to a reader like an input that ends early.
    return ferror(in) ? -1 : status;
}
