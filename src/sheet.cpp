// The picture, read from whatever file holds it: the kind of file is told
// by its first bytes, and the reader of that format fills the planes. A
// file that is no kind glyphrip can name is the plain one-bit layout.
#include <cstring>

#include "kinds.h"
#include "picture.h"

// The plain one-bit layout of a sheet of 64 x 128 from byte 62 on, whose
// 0 is white and 1 black, as glyphsheet's BMP has it; where a layout is
// told, a picture of a kind named is wanted.
static int read_plain_layout(input &in, const told &t, ink &k, char why[REASON_SIZE])
{
    static const unsigned char colours[2][4] = {{255, 255, 255, 255}, {0, 0, 0, 255}};
    if (tells_layout(t))
        return refuse(why, "no picture glyphcut reads; save the sheet as PNG or BMP");
    if (fit_ink(k, t, 64, 128, why) != 0)
        return 1;
    start_ink(k, false);
    memcpy(k.bit_colours, colours, sizeof colours);
    read_one_bit(in, SHEET_DATA_OFFSET, k, 8, false);
    return 0;
}

int read_picture(input &in, const told &t, ink &k, char why[REASON_SIZE])
{
    const file_kind *kind = kind_of_input(in, sureness::likely);
    int status = 0;
    switch (kind == nullptr ? reader::none : kind->read_by) {
    case reader::bmp: status = read_bmp(in, t, k, why); break;
    case reader::png: status = read_png(in, t, k, why); break;
    case reader::netpbm: status = read_netpbm(in, t, k, why); break;
    case reader::tga: status = read_tga(in, t, k, why); break;
    case reader::none:
        status = kind != nullptr ? refuse(why, "%s; %s", kind->name, kind->advice) : read_plain_layout(in, t, k, why);
        break;
    }
    // A failed read looks to a reader like an input that ends early.
    return in.failed ? -1 : status;
}
